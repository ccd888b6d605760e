#!/usr/bin/env bash
# Installs what building, testing and the demo need on Debian 12.
# Runs apt only for what is missing, so a prepared machine starts at once.
set -euo pipefail

packages=(cmake g++ make pkg-config libldap-dev libgnutls28-dev slapd ldap-utils openssl
          389-ds-base libnss3-tools
          googletest libgtest-dev libgmock-dev libbenchmark-dev strace clang libclang-rt-14-dev
          dpkg-dev file time)  # cpack -G DEB: dpkg-shlibdeps, and file to find the binaries

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]} (run this script as root, or install them)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# slapd must not start a system-wide server when it is installed: the tests
# and the demo start their own throw-away servers on loopback.  389-ds-base
# creates no instance of its own and enables no service; the one it tries
# to start (its SNMP agent) goes through the same policy.
policy=/usr/sbin/policy-rc.d
created_policy=0
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' > "$policy"
  chmod +x "$policy"
  created_policy=1
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
[ "$created_policy" -eq 1 ] && rm -f "$policy"
exit 0
