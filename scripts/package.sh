#!/usr/bin/env bash
# The Debian package: the programs built with Debian's hardening flags in build-deb/, installed
# under /usr by CPack, their dependencies computed by dpkg-shlibdeps; lintian reads the result.
#   scripts/package.sh      -> build-deb/tessal_VERSION_ARCH.deb
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/setup.sh

tessal_install_missing lintian
cmake -S . -B build-deb -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSAL_BENCH=OFF -DTESSAL_HARDENING=ON \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
cmake --build build-deb --parallel "$(nproc)" \
    --target tessal tessal-term tessal-devsim tessal-cli man debian_changelog
rm -f build-deb/tessal_*.deb
(cd build-deb && cpack -G DEB)
# Run as root here; lintian says so, and it is not a finding about the package.
lintian --allow-root --info build-deb/tessal_*.deb || true
