# Installs the Debian packages Tessary needs to build, test and run, when missing.
# Sourced by scripts/run and scripts/test.
TESSARY_PACKAGES=(build-essential cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev googletest libbenchmark-dev libcurl4-openssl-dev xvfb xauth fonts-dejavu-core
  desktop-file-utils shared-mime-info clang-format appstream man-db)
# What scripts/package needs on top: Debian's package tools and checkers.
TESSARY_PACKAGING_PACKAGES=(dpkg-dev fakeroot file lintian)

# The Windows cross build and Wine that runs its tests (the Qt and curl for
# Windows come from scripts/windows-toolchain).
TESSARY_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix wine wine64 fonts-wine nsis zip)

install_deps() {
  install_packages "${TESSARY_PACKAGES[@]}"
}

install_windows_deps() {
  install_packages "${TESSARY_WINDOWS_PACKAGES[@]}"
}

install_packaging_deps() {
  install_packages "${TESSARY_PACKAGING_PACKAGES[@]}"
}

install_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}
