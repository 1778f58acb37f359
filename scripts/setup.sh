# Shared set-up for run.sh and test.sh: installs missing Debian packages and builds.
# Sourced, not run; expects the project root as the current directory.

QUORVANE_PACKAGES=(
  build-essential cmake ninja-build g++ pkg-config
  qt6-base-dev libqscintilla2-qt6-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  slapd ldap-utils libldap-dev libicu-dev libidn2-dev
  python3 python3-ldap
  xvfb xauth
  dpkg-dev  # dpkg-shlibdeps: the Depends of the package that cpack -G DEB builds
  lintian  # the package test checks the .deb with it
  ca-certificates  # the certificates an ldaps:// or StartTLS server is checked against
  openssl  # the schema server test makes a certificate the system does not trust
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

ensure_packages() {
  local missing=()
  local pkg
  for pkg in "${QUORVANE_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing missing packages: ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    # slapd must not start a system directory of its own: our tests start their own server.
    as_root env DEBIAN_FRONTEND=noninteractive RUNLEVEL=1 \
      apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# build_tree DIR [cmake options...]: configures (once) and builds DIR with Ninja.
build_tree() {
  local dir=$1
  shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja "$@"
  fi
  cmake --build "$dir" --parallel "$(nproc)"
}
