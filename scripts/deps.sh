#!/usr/bin/env bash
# Installs the Debian packages the build, the demo and the tests need, when
# any is missing. Sourced by play.sh and test.sh.
ORRIMUND_PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config
  libx11-dev libxtst-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri
  libopenal-dev libjpeg62-turbo-dev libjpeg-turbo-progs
  libsndfile1-dev sox
  libgtest-dev libgmock-dev libbenchmark-dev libstb-dev
  clang libclang-rt-14-dev
  libfreetype-dev fonts-dejavu-core
  xvfb xauth x11-utils xdotool imagemagick
)

orrimund_install_deps() {
  local missing=()
  for p in "${ORRIMUND_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
  fi
}

orrimund_jobs() { nproc 2>/dev/null || echo 2; }
