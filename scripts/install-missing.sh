# Sourced by the scripts: install_missing PKG... installs the Debian packages
# that are not installed yet (needs root). The package lists are read again
# only when they are too old to have them.
install_missing() {
  local need=() pkg
  for pkg in "$@"; do
    dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
  done
  ((${#need[@]})) || return 0
  echo "Installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if ! apt-get install -y -qq "${need[@]}" >/dev/null 2>&1; then
    apt-get update -qq
    apt-get install -y -qq "${need[@]}" >/dev/null
  fi
}
