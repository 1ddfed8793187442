#!/usr/bin/env bash
# Installs the build into a prefix outside it and builds three hosts there from the installed tree alone: the C
# example and a C++ host that loads the library at run time with pkg-config, and the example again with the
# CMake package. The install tests run them.
set -euo pipefail
build=$1 prefix=$2 libdir=$3 source=$4
rm -rf "$prefix"
mkdir -p "$prefix/hosts"
cmake --install "$build" --prefix "$prefix" >/dev/null
# Only this tree's .pc file, whatever else the machine has installed.
export PKG_CONFIG_LIBDIR="$prefix/$libdir/pkgconfig"
export PKG_CONFIG_PATH=
cd "$prefix/hosts"
cp "$source/examples/host.c" "$source/examples/CMakeLists.txt" "$source/tests/install/loader_host.cpp" .
cc -std=c11 -Wall -Wextra -Werror -pedantic host.c $(pkg-config --cflags --libs brinmoor) -o example
c++ -std=c++17 -Wall -Wextra -Werror -pedantic loader_host.cpp $(pkg-config --cflags brinmoor) \
  -DBRINMOOR_LIBDIR="\"$(pkg-config --variable=libdir brinmoor)\"" -ldl -o loader-host
cmake -S . -B cmake-build -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build cmake-build >/dev/null
# Run by another user in the tests: the tree is readable by all.
chmod -R a+rX "$prefix"
echo "installed in $prefix"
