# Shared set-up for scripts/test and scripts/demo: Debian packages and the build.
# Sourced, not run.

QENBOX_PACKAGES=(
  cmake pkg-config g++ make
  libgtk-3-dev libwebkit2gtk-4.1-dev libglib2.0-dev libjsoncpp-dev
  libcurl4-openssl-dev libicu-dev libgtest-dev libgmock-dev libcpp-httplib-dev
  iproute2 xvfb xdotool imagemagick fonts-noto-cjk
  clang libclang-rt-14-dev
)

qen_root() { cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd; }

# Installs only the packages that are missing; apt-get update once when any is.
qen_install_packages() {
  local missing=() p
  for p in "${QENBOX_PACKAGES[@]}"; do
    if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq || return 1
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" || return 1
}

# qen_build DIR [cmake options...]: configures and builds into DIR.
qen_build() {
  local dir=$1; shift
  cmake -S "$(qen_root)" -B "$dir" "$@" >/dev/null || return 1
  cmake --build "$dir" -j"$(nproc)" || return 1
}
