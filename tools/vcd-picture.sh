#!/usr/bin/env bash
# Renders a VCD file of `xsvf play --vcd` to a PNG picture: GTKWave under Xvfb, every signal,
# the whole dump in the window. Needs gtkwave, xvfb and imagemagick (Debian packages of those
# names); the test suite does not need them.
# Usage: tools/vcd-picture.sh FILE.vcd PICTURE.png [WIDTHxHEIGHT]
set -euo pipefail
vcd=$(realpath "${1:?usage: vcd-picture.sh FILE.vcd PICTURE.png [WIDTHxHEIGHT]}")
png=$(realpath -m "${2:?usage: vcd-picture.sh FILE.vcd PICTURE.png [WIDTHxHEIGHT]}")
size=${3:-1600x480}
width=${size%x*}
height=${size#*x}
for tool in gtkwave xvfb-run import; do
    command -v "$tool" >/dev/null || { echo "vcd-picture: $tool is missing (apt-get install gtkwave xvfb xauth imagemagick)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/rc" <<EOF
initial_window_x $width
initial_window_y $height
initial_window_xpos 0
initial_window_ypos 0
EOF
# The signals in the order the dump declares them, the whole time range, then a mark that
# it is drawn.
cat >"$work/show.tcl" <<EOF
gtkwave::addSignalsFromList {jtag.tck jtag.tms jtag.tdi jtag.tdo jtag.jtag_enable jtag.tap_state jtag.command}
gtkwave::/Time/Zoom/Zoom_Best_Fit
set f [open "$work/drawn" w]
close \$f
EOF
cat >"$work/shoot.sh" <<EOF
gtkwave -r "$work/rc" "$vcd" -S "$work/show.tcl" >"$work/gtkwave.log" 2>&1 &
viewer=\$!
for i in \$(seq 300); do [ -e "$work/drawn" ] && break; sleep 0.1; done
sleep 1
import -window root "$png"
kill \$viewer
EOF
xvfb-run -a -s "-screen 0 ${width}x${height}x24 -nolisten tcp" sh "$work/shoot.sh"
[ -e "$work/drawn" ] || { echo "vcd-picture: gtkwave did not draw $vcd:" >&2; cat "$work/gtkwave.log" >&2; exit 1; }
echo "vcd-picture: $png"
