// What the Win32 window reads from the system for its lists: the drives
// with their labels, and the files and subdirectories of a directory in
// natural order, without hidden and system entries. Also the conversions
// between the UTF-8 the shared behaviour speaks and Windows' UTF-16.
#pragma once
#ifdef _WIN32

#include <functional>
#include <string>
#include <vector>

namespace vexo::win32 {

std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& wide);

// Twips (1/1440 inch) to pixels at a number of pixels per inch, rounded to
// the nearest pixel, and back.
int twipsToPixels(double twips, int dpi);
double pixelsToTwips(int pixels, int dpi);

struct DriveEntry {
  std::wstring drive;  // "C:"
  std::wstring text;   // as the lists show it: "C: (Windows)", or "R:" with no label
};

// A drive as the lists show it: "C: (Windows)", or "C:" without a label.
std::wstring driveText(const std::wstring& drive, const std::wstring& label);

// The drives of the machine, A: to Z:. A drive whose medium is not ready,
// or that does not tell its label within a moment, is listed without one;
// the labels are asked for all at once, and asking never prompts for a
// disc. Floppy drives are not asked (that would spin them up).
std::vector<DriveEntry> readDrives();

// A text cut in its middle to fit a width: the start and the end (a bit
// more of the end, which holds a piece's number) with "…" between them,
// as wide as measure() says fits; the text itself when it fits. Never
// splits a surrogate pair.
std::wstring cutMiddle(const std::wstring& text, int width,
                       const std::function<int(const std::wstring&)>& measure);

// The drive holding a path ("C:" for "c:\x"), or "" for a path that begins
// with no drive letter.
std::wstring driveOf(const std::wstring& path);

// Natural order: runs of digits compare by value, letters without regard to
// case ("piece.2" before "piece.10"); names equal that way keep a fixed
// order by code units.
bool naturalLess(const std::wstring& a, const std::wstring& b);
void sortNaturally(std::vector<std::wstring>& names);

enum class Entries { Files, Directories };

// The names of the files or subdirectories of a directory, sorted
// naturally, without hidden and system entries (nor "." and ".."). Throws
// RuntimeError when the directory cannot be read: 71 when the disk is not
// ready, 76 when the path is not there, 70 when it may not be read, 75
// otherwise.
std::vector<std::wstring> readNames(const std::wstring& dir, Entries kind);

// A directory path joined with a name ("C:\" + "x" is "C:\x").
std::wstring joinPath(const std::wstring& dir, const std::wstring& name);
// The parents of a directory, from its drive's root down to the directory
// itself: "C:\a\b" gives "C:\", "C:\a", "C:\a\b".
std::vector<std::wstring> pathChain(const std::wstring& dir);

}  // namespace vexo::win32

#endif  // _WIN32
