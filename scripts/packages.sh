# The Debian packages each step needs; sourced by demo.sh and test.sh.
BUILD_PACKAGES=(build-essential cmake pkg-config libexpat1-dev libarchive-dev
                libgtk-3-dev libglib2.0-dev-bin)
RUN_PACKAGES=(fonts-wqy-microhei)
TEST_PACKAGES=(googletest libgtest-dev python3 xvfb xauth xdotool x11-utils imagemagick
               fonts-wqy-microhei metacity wmctrl
               # tests/support/slow_share.cpp: the FUSE share of the network test
               libfuse3-dev fuse3)
# build-linux.sh and tests/linux/portable_test.sh: the Debian 11 root and qemu-aarch64.
PORTABLE_PACKAGES=(debootstrap wget qemu-user)
# bench/network_share_bench.sh: its rerun reference and its count of system calls.
BENCH_PACKAGES=(rsync strace)
# tests/fuzz/run_fuzz.sh: clang with its libFuzzer and sanitizer runtimes.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)

# The system these lists are for; elsewhere a package that cannot be installed
# is a reason to skip a check rather than a failure.
on_debian_12() {
  [[ -r /etc/os-release ]] && (source /etc/os-release && [[ ${ID:-} == debian && ${VERSION_ID:-} == 12 ]])
}
