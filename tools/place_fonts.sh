#!/usr/bin/env bash
# Links the installed font families into ./assets/fonts/FAMILY/ttf/ where the
# game looks for them. The fonts come from Debian's fonts-jetbrains-mono and
# fonts-dejavu-core packages and are not part of the repository.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
fonts="$root/assets/fonts"

# link FAMILY SOURCE [NAME]: one variant file of a family.
link() {
    local family=$1 source=$2 name=${3:-$(basename "$2")}
    [ -f "$source" ] || return 0
    mkdir -p "$fonts/$family/ttf"
    ln -sfn "$source" "$fonts/$family/ttf/$name"
}

jb=/usr/share/fonts/truetype/jetbrains-mono
for f in "$jb"/JetBrainsMono-*.ttf; do
    link JetBrainsMono "$f"
done

dv=/usr/share/fonts/truetype/dejavu
# The plain DejaVu faces carry no style in their names; call them Regular so
# that the game picks them as the default variant of their family.
link DejaVuSans "$dv/DejaVuSans.ttf" DejaVuSans-Regular.ttf
for style in Bold Oblique BoldOblique ExtraLight; do
    link DejaVuSans "$dv/DejaVuSans-$style.ttf"
done
link DejaVuSansMono "$dv/DejaVuSansMono.ttf" DejaVuSansMono-Regular.ttf
for style in Bold Oblique BoldOblique; do
    link DejaVuSansMono "$dv/DejaVuSansMono-$style.ttf"
done
link DejaVuSerif "$dv/DejaVuSerif.ttf" DejaVuSerif-Regular.ttf
for style in Bold Italic BoldItalic; do
    link DejaVuSerif "$dv/DejaVuSerif-$style.ttf"
done

if [ ! -d "$fonts/JetBrainsMono/ttf" ]; then
    echo "[fonts] JetBrains Mono is not installed (fonts-jetbrains-mono); the game falls back to its built-in font" >&2
fi
