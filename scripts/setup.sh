#!/usr/bin/env bash
# Prepares a Debian 12 machine for building, running and testing qvox.
#
#  1. Installs the Debian packages the build and the tests need (apt-get runs
#     only when one of them is missing, so a second run takes a moment).
#  2. Provides raylib 6. Debian 12 ships neither raylib 6 nor the GLFW 3.4 that
#     raylib 6 needs, so unless a raylib >= 6 is already visible to pkg-config,
#     the Debian source packages of raylib 6 (sid) and GLFW 3.4 (trixie) are
#     fetched through a private apt configuration and built into .deps/:
#     GLFW as a static X11-only library, raylib as a shared library on top.
#     The system's apt configuration is only read, never changed.
set -euo pipefail

# The exact Debian source packages built into .deps/, so that every machine
# builds the same raylib and GLFW. To move on, change a version here (it must
# still be on the mirror) and run `make distclean test`.
RAYLIB_SOURCE_VERSION=6.0+ds-2  # sid
GLFW_SOURCE_VERSION=3.4-3       # trixie

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
prefix="$root/.deps"
stamp="$prefix/.complete"
jobs=$(nproc 2>/dev/null || echo 2)

log() { printf '[setup] %s\n' "$*"; }
die() { printf '[setup] error: %s\n' "$*" >&2; exit 1; }

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        die "root rights are needed to run: $*"
    fi
}

# --- 1. Debian packages -----------------------------------------------------

packages=(
    # compiler, build tools and raylib's build dependencies
    build-essential cmake pkg-config dpkg-dev
    libx11-dev libxrandr-dev libxinerama-dev libxcursor-dev libxi-dev
    libgl-dev libglvnd-dev
    # tests, benchmarks and the end-to-end driver (it counts the game's frames
    # through libX11 and libXdamage)
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth libgl1-mesa-dri xdotool imagemagick openbox wmctrl x11-utils python3 libx11-6 libxdamage1
    # libFuzzer with its sanitizers, for the fuzz targets
    clang libclang-rt-14-dev
    # the one style of the tree (.clang-format), checked by make test
    clang-format
    # fonts the game offers
    fonts-jetbrains-mono fonts-dejavu-core
    # the Debian package and its checks (make package)
    lintian desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
    log "installing Debian packages: ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update || die "apt-get update failed"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" \
        || die "apt-get install failed for: ${missing[*]}"
fi

# --- 2. raylib 6 ------------------------------------------------------------

if pkg-config --exists 'raylib >= 6' 2>/dev/null; then
    log "using the system raylib $(pkg-config --modversion raylib)"
    exit 0
fi

if [ -f "$stamp" ]; then
    exit 0
fi

# The mirror of the machine's own Debian sources: the first entry that serves
# this release's main suite, in either the one-line or the deb822 format.
debian_mirror() {
    local codename f uri
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [ -n "$codename" ] || return 0
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        uri=$(awk -v c="$codename" '
            $1 == "deb" || $1 == "deb-src" {
                i = 2
                if ($i ~ /^\[/) { while (i < NF && $i !~ /\]$/) i++; i++ }
                if ($(i + 1) == c) { print $i; exit }
            }' "$f")
        if [ -n "$uri" ]; then echo "$uri"; return 0; fi
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        uri=$(awk -v c="$codename" '
            BEGIN { RS = ""; FS = "\n" }
            {
                uris = ""; suites = ""; enabled = "yes"
                for (n = 1; n <= NF; n++) {
                    line = $n
                    if (line ~ /^[ \t]*#/) continue
                    key = tolower(line); sub(/:.*/, "", key)
                    val = line; sub(/^[^:]*:[ \t]*/, "", val)
                    if (key == "uris") uris = val
                    else if (key == "suites") suites = " " val " "
                    else if (key == "enabled") enabled = tolower(val)
                }
                if (enabled != "no" && uris != "" && suites ~ (" " c " ")) {
                    split(uris, u, /[ \t]+/); print u[1]; exit
                }
            }' "$f")
        if [ -n "$uri" ]; then echo "$uri"; return 0; fi
    done
}

mirror=$(debian_mirror)
[ -n "$mirror" ] || die "no Debian mirror found in /etc/apt/sources.list or /etc/apt/sources.list.d/"

keyring=/usr/share/keyrings/debian-archive-keyring.gpg
signed_by=""
[ -f "$keyring" ] && signed_by="[signed-by=$keyring] "

log "building raylib 6 and GLFW 3.4 into .deps/ (Debian sources from $mirror)"

rm -rf "$prefix"
apt_dir="$prefix/apt"
src_dir="$prefix/src"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" \
         "$apt_dir/sources.list.d" "$src_dir"

cat > "$apt_dir/sources.list" <<EOF
deb-src ${signed_by}${mirror} sid main
deb-src ${signed_by}${mirror} trixie main
EOF

apt_opts=(
    -o "Dir::Etc::SourceList=$apt_dir/sources.list"
    -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
    -o "Dir::State::Lists=$apt_dir/lists"
    -o "Dir::Cache=$apt_dir/cache"
    -o "Acquire::Check-Valid-Until=false"
    -o "Acquire::Languages=none"
    -o "APT::Sandbox::User=root"
)

apt-get "${apt_opts[@]}" --error-on=any update \
    || die "could not download the source package lists from $mirror"
(cd "$src_dir" && apt-get "${apt_opts[@]}" source "raylib=$RAYLIB_SOURCE_VERSION" "glfw3=$GLFW_SOURCE_VERSION") \
    || die "could not download the source packages raylib $RAYLIB_SOURCE_VERSION and glfw3 $GLFW_SOURCE_VERSION; if the mirror has moved on, update the versions at the top of this script"

shopt -s nullglob
raylib_src=("$src_dir"/raylib-6.*/)
glfw_src=("$src_dir"/glfw3-3.4*/)
shopt -u nullglob
[ "${#raylib_src[@]}" -eq 1 ] || die "expected one raylib 6.x source tree in $src_dir, found: $(ls "$src_dir")"
[ "${#glfw_src[@]}" -eq 1 ] || die "expected one glfw3 3.4 source tree in $src_dir, found: $(ls "$src_dir")"

build_log="$prefix/build.log"
log "compiling GLFW (log: .deps/build.log)"
{
    cmake -S "${glfw_src[0]}" -B "$prefix/build-glfw" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib \
        -DBUILD_SHARED_LIBS=OFF -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
        -DGLFW_BUILD_X11=ON -DGLFW_BUILD_WAYLAND=OFF \
        -DGLFW_BUILD_EXAMPLES=OFF -DGLFW_BUILD_TESTS=OFF -DGLFW_BUILD_DOCS=OFF \
        -DGLFW_INSTALL=ON &&
    cmake --build "$prefix/build-glfw" -j"$jobs" &&
    cmake --install "$prefix/build-glfw"
} >> "$build_log" 2>&1 || { tail -n 30 "$build_log" >&2; die "building GLFW failed"; }

log "compiling raylib"
{
    cmake -S "${raylib_src[0]}" -B "$prefix/build-raylib" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib \
        -DCMAKE_PREFIX_PATH="$prefix" \
        -DBUILD_SHARED_LIBS=ON -DUSE_EXTERNAL_GLFW=ON \
        -DOpenGL_GL_PREFERENCE=GLVND -DBUILD_EXAMPLES=OFF &&
    cmake --build "$prefix/build-raylib" -j"$jobs" &&
    cmake --install "$prefix/build-raylib"
} >> "$build_log" 2>&1 || { tail -n 30 "$build_log" >&2; die "building raylib failed"; }

for f in lib/libraylib.so include/raylib.h include/rlgl.h include/raymath.h lib/pkgconfig/raylib.pc; do
    [ -e "$prefix/$f" ] || die "raylib installed no $f"
done

rm -rf "$prefix/build-glfw" "$prefix/build-raylib" "$src_dir" "$apt_dir"
PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --modversion raylib > "$stamp" \
    || die "pkg-config cannot read the installed raylib.pc"
log "raylib $(cat "$stamp") (Debian source $RAYLIB_SOURCE_VERSION) and GLFW (Debian source $GLFW_SOURCE_VERSION) installed in .deps/"
