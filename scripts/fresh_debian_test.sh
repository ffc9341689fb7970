#!/usr/bin/env bash
# Runs `make test` on a fresh clone inside a minimal Debian 12 (debootstrap
# --variant=minbase plus git, make and ca-certificates), the barest machine the
# README promises to work on. Needs root and debootstrap.
#
#   scripts/fresh_debian_test.sh ROOT_DIR [COMMIT]
#
# ROOT_DIR is made once and reused; the clone inside it is made anew each run.
# /dev inside is a small tmpfs with only the usual device nodes: bind-mounting
# the host's /dev would let a later `rm -rf ROOT_DIR` remove the host's nodes.
set -euo pipefail

root=${1:?root folder of the minimal Debian}
commit=${2:-HEAD}
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

if [ ! -x "$root/usr/bin/apt-get" ]; then
    debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian
fi

mounted=()
unmount_all() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount "${mounted[i]}" || true; done
}
trap unmount_all EXIT

mount -t proc proc "$root/proc" && mounted+=("$root/proc")
mount -t tmpfs -o mode=755,size=64k devtmp "$root/dev" && mounted+=("$root/dev")
mknod -m 666 "$root/dev/null" c 1 3
mknod -m 666 "$root/dev/zero" c 1 5
mknod -m 666 "$root/dev/full" c 1 7
mknod -m 666 "$root/dev/random" c 1 8
mknod -m 666 "$root/dev/urandom" c 1 9
mknod -m 666 "$root/dev/tty" c 5 0
ln -s /proc/self/fd "$root/dev/fd"
ln -s /proc/self/fd/0 "$root/dev/stdin"
ln -s /proc/self/fd/1 "$root/dev/stdout"
ln -s /proc/self/fd/2 "$root/dev/stderr"
cp /etc/resolv.conf "$root/etc/resolv.conf"

in_root() { chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin TERM=dumb "$@"; }
in_root bash -c 'command -v git >/dev/null && command -v make >/dev/null' \
    || in_root bash -c 'apt-get update && apt-get install -y --no-install-recommends git make ca-certificates'

rm -rf "$root/root/qvox.git" "$root/root/qvox"
git clone --quiet --bare "$repo" "$root/root/qvox.git"
in_root git clone --quiet /root/qvox.git /root/qvox
in_root git -C /root/qvox checkout --quiet "$(git -C "$repo" rev-parse "$commit")"
started=$SECONDS
in_root bash -c 'cd /root/qvox && CI=true bash .ci/run'
echo "make test in the minimal Debian passed in $((SECONDS - started)) s"
