#!/usr/bin/env bash
# Exits 0 when clang++ can build a libFuzzer target on this machine.
set -u
command -v clang++ >/dev/null 2>&1 || exit 1
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$probe/p.cpp"
clang++ -fsanitize=fuzzer,address,undefined "$probe/p.cpp" -o "$probe/p" >/dev/null 2>&1
