#!/usr/bin/env bash
# Installs what Kalendo needs on Debian 12, builds it, and starts it, packages it or runs its
# tests.
#   scripts/kalendo.sh start     build and start the program
#   scripts/kalendo.sh package   build the Debian package build/kalendo_<version>_<arch>.deb
#   scripts/kalendo.sh test      build and run the whole test suite, plainly, under the
#                                sanitizers, and the fuzz harnesses for a short budget
#   scripts/kalendo.sh package <build folder> [<package folder>]
#                                package a build as it is (the tests do)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"

# What the program needs to build and run.
program_packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev libvulkan-dev libxkbcommon-dev
    libical-dev qtkeychain-qt6-dev
    fonts-ipafont-gothic fonts-ipafont-mincho fonts-urw-base35
    qt6-translations-l10n
)
# What cpack -G DEB needs on top: dpkg-shlibdeps finds the libraries' packages, with file.
package_packages=(dpkg-dev file)
# What the tests, the sanitizer build and the fuzz harnesses need on top.
test_packages=(
    clang libclang-rt-14-dev
    xvfb xauth poppler-utils at-spi2-core dbus-daemon dbus-bin dunst xdg-utils xdotool
    desktop-file-utils appstream lintian
    libxdamage-dev libxtst-dev
    radicale openssl
)

install_missing() { # packages...
    local missing=()
    for p in "$@"; do
        if [ "$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null)" != installed ]; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

build() { # build folder, extra cmake arguments
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" --parallel "$(nproc)"
}

case "${1:-}" in
start)
    install_missing "${program_packages[@]}"
    build build -DBUILD_TESTING=OFF
    exec build/bin/kalendo
    ;;
package)
    install_missing "${program_packages[@]}" "${package_packages[@]}"
    if [ $# -ge 2 ]; then
        dir=$2 out=${3:-$2}
    else
        dir=build out=build
        build build -DBUILD_TESTING=OFF
    fi
    cpack -G DEB --config "$dir/CPackConfig.cmake" -B "$out" >/dev/null
    rm -rf "$out/_CPack_Packages"
    echo "$out/$(cd "$out" && ls -t kalendo_*.deb | head -n 1)"
    ;;
test)
    install_missing "${program_packages[@]}" "${package_packages[@]}" "${test_packages[@]}"
    build build -DBUILD_TESTING=ON
    ctest --test-dir build --output-on-failure --parallel "$(nproc)"
    # The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer; any report
    # fails the test that caused it. Leaks are not checked here: Qt's own input events leak
    # under QTest and its frames cannot be told apart; the fuzz harnesses check the core's.
    build build/asan -DKALENDO_SANITIZE=ON
    ASAN_OPTIONS=halt_on_error=1:detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        ctest --test-dir build/asan --output-on-failure --parallel "$(nproc)"
    # The fuzz harnesses (clang): the corpus replayed, then a short fuzzing budget each.
    cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ -DKALENDO_FUZZ=ON >/dev/null
    cmake --build build/fuzz --target kalendo_fuzzers --parallel "$(nproc)"
    ctest --test-dir build/fuzz -L fuzz --output-on-failure --parallel "$(nproc)"
    ;;
*)
    echo "usage: $0 start|package|test" >&2
    exit 2
    ;;
esac
