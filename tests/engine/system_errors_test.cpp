// One table per system from its failures to the error numbers the user
// sees, and the system's own words travelling with them.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "doubles.h"
#include "file_services.h"
#include "system_errors.h"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace vexo;
using namespace vexo::test;

TEST(SystemErrors, ErrnoTable) {
  const std::pair<int, int> cases[] = {
      {ENOENT, err::FileNotFound},      {ENOTDIR, err::PathNotFound},    {EACCES, err::PermissionDenied},
      {EPERM, err::PermissionDenied},   {EROFS, err::PermissionDenied},  {EBUSY, err::PermissionDenied},
      {ENOSPC, err::DiskFull},          {EFBIG, err::DiskFull},          {EIO, err::DeviceIO},
      {EMFILE, err::TooManyFiles},      {ENFILE, err::TooManyFiles},     {ENXIO, err::DeviceUnavailable},
      {ENODEV, err::DeviceUnavailable}, {EEXIST, err::FileAlreadyExists}, {ENAMETOOLONG, err::BadFileNameOrNumber},
      {EINVAL, err::PathFileAccess},
#ifdef ENOMEDIUM
      {ENOMEDIUM, err::DiskNotReady},
#endif
  };
  for (const auto& [e, number] : cases) EXPECT_EQ(errorNumberFromErrno(e), number) << e;
  EXPECT_EQ(errnoReason(ENOENT), std::strerror(ENOENT));
}

#ifdef _WIN32
TEST(SystemErrors, Win32Table) {
  const std::pair<unsigned long, int> cases[] = {
      {ERROR_FILE_NOT_FOUND, err::FileNotFound},   {ERROR_PATH_NOT_FOUND, err::PathNotFound},
      {ERROR_ACCESS_DENIED, err::PermissionDenied}, {ERROR_DISK_FULL, err::DiskFull},
      {ERROR_NOT_READY, err::DiskNotReady},         {ERROR_INVALID_DRIVE, err::DeviceUnavailable},
      {ERROR_IO_DEVICE, err::DeviceIO},             {ERROR_CRC, err::DeviceIO},
      {ERROR_FILE_EXISTS, err::FileAlreadyExists},  {ERROR_INVALID_NAME, err::BadFileNameOrNumber},
      {ERROR_INVALID_PARAMETER, err::PathFileAccess},
  };
  for (const auto& [code, number] : cases) EXPECT_EQ(errorNumberFromWin32(code), number) << code;
  EXPECT_FALSE(win32Reason(ERROR_FILE_NOT_FOUND).empty());
  EXPECT_NE(win32Reason(ERROR_FILE_NOT_FOUND).back(), '\n');
}
#endif

TEST(SystemErrors, AFailureOfTheFileServicesCarriesTheSystemsWords) {
  TempDir dir;
  auto fs = makeSystemFileServices();
  try {
    fs->openRead("missing", 1);
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::FileNotFound);
    EXPECT_EQ(e.file(), "missing");
#ifdef _WIN32
    EXPECT_EQ(e.reason(), win32Reason(ERROR_FILE_NOT_FOUND));
#else
    EXPECT_EQ(e.reason(), std::strerror(ENOENT));
#endif
  }
}
