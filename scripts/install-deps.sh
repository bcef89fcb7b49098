#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need
# (and the install checks: man pages, validators, dpkg-shlibdeps, shells),
# asking dpkg first so that only what is missing gets installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libssl-dev openssl ca-certificates liblzma-dev libjpeg62-turbo-dev
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libgl-dev fonts-dejavu-core
  # The sans and serif that device text is drawn in.
  fonts-noto-core
  libcli11-dev nlohmann-json3-dev
  # Sound and video decoding, conversion (FFmpeg, libimagequant); ffmpeg and
  # ffprobe serve as the tests' oracle.
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev libimagequant-dev ffmpeg
  clang libclang-rt-14-dev
  nginx-light tinyproxy-bin xvfb xauth
  # A real browser plays the converted HTML page (headless); unshare and
  # mount give the full-disk test a small tmpfs.
  chromium util-linux mount
  curl wget time
  scdoc desktop-file-utils appstream dpkg-dev binutils file zsh fish
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo="sudo"
  else
    echo "error: these packages are missing and neither root nor sudo is available: ${missing[*]}" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
