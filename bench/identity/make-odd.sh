#!/usr/bin/env bash
# Makes PDFs that stress how page 1 is rendered, under the folder given:
# CMYK, rotated, cropped, shifted, transparent, encrypted (RC4 and AES),
# damaged, two fonts under one name, a JPEG 2000 scan, a CID font under
# Identity-H, and files that only pretend to be PDFs.
set -euo pipefail
out=${1:?usage: make-odd.sh FOLDER}
mkdir -p "$out"
ps=$(mktemp -d)
trap 'rm -rf "$ps"' EXIT

pdf() { # name postscript [pdfwrite options...]
    local name=$1 program=$2
    shift 2
    printf '%s\n' "$program" >"$ps/$name.ps"
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite "$@" -o "$out/$name.pdf" "$ps/$name.ps"
}

shapes='/Helvetica-Bold 48 selectfont 72 600 moveto (Leafmark) show
0.2 0.5 0.8 setrgbcolor 100 100 300 300 rectfill
0 0 0 setrgbcolor 4 setlinewidth 72 72 moveto 500 750 lineto stroke showpage'

pdf cmyk '<< /PageSize [595 842] >> setpagedevice
0 1 1 0 setcmykcolor 50 50 200 200 rectfill
1 0 0 0.2 setcmykcolor 300 400 200 300 rectfill
/DeviceCMYK setcolorspace 8 8 8 [8 0 0 8 0 0] {<00ff80ffc04000ff20a0e0ff10ff00ff>} image
showpage' -dProcessColorModel=/DeviceCMYK -sColorConversionStrategy=CMYK -dCompressPages=false
pdf rotated "<< /PageSize [595 842] >> setpagedevice [ {ThisPage} << /Rotate 90 >> /PUT pdfmark $shapes"
pdf rotated-270 "<< /PageSize [842 595] >> setpagedevice [ {ThisPage} << /Rotate 270 >> /PUT pdfmark $shapes"
pdf cropped "<< /PageSize [595 842] >> setpagedevice [ /CropBox [60 80 400 700] /PAGE pdfmark $shapes"
pdf letter "<< /PageSize [612 792] >> setpagedevice $shapes"
pdf tiny "<< /PageSize [72 36] >> setpagedevice 1 0 0 setrgbcolor 0 0 36 36 rectfill showpage"
pdf transparent '<< /PageSize [400 400] >> setpagedevice
[ /ca 0.5 /SetTransparency pdfmark 1 0 0 setrgbcolor 50 50 200 200 rectfill
0 0 1 setrgbcolor 150 150 200 200 rectfill showpage'
pdf blank '<< /PageSize [300 300] >> setpagedevice showpage'
pdf image-heavy '<< /PageSize [595 842] >> setpagedevice
/s 12288 string def 0 1 12287 { s exch dup 7 mul 256 mod put } for
595 842 scale 64 64 8 [64 0 0 64 0 0] { s } false 3 colorimage showpage'
for font in A B; do
    if [ $font = A ]; then glyph='0 0 moveto 500 0 lineto 500 700 lineto closepath fill'; else glyph='250 350 250 0 360 arc fill'; fi
    pdf "font-$font" "/Leak 8 dict dup begin /FontType 3 def /FontMatrix [0.001 0 0 0.001 0 0] def
/FontBBox [0 0 1000 1000] def /Encoding 256 array def 0 1 255 { Encoding exch /.notdef put } for
Encoding 65 /g put /BuildChar { 1000 0 0 0 1000 1000 setcachedevice pop $glyph } def end definefont pop
<< /PageSize [300 200] >> setpagedevice /Leak 80 selectfont 20 60 moveto (AAA) show showpage"
done
pdf owner-only "$shapes" -sOwnerPassword=owner -dEncryptionR=3 -dKeyLength=128 -dPermissions=-3904
pdf user-password "$shapes" -sOwnerPassword=owner -sUserPassword=user -dEncryptionR=3 -dKeyLength=128
pdf multi "<< /PageSize [595 842] >> setpagedevice $shapes $shapes $shapes"

# Damaged copies of a good one.
good=$out/letter.pdf
size=$(stat -c %s "$good")
head -c $((size / 2)) "$good" >"$out/truncated.pdf"
cp "$good" "$out/bitflipped.pdf"
printf '\xff\xff\xff\xff\xff\xff\xff\xff' | dd of="$out/bitflipped.pdf" bs=1 seek=$((size / 3)) conv=notrunc status=none
{ printf 'garbage before the header\n'; cat "$good"; } >"$out/garbage-first.pdf"
{ printf '\n \n\t'; cat "$good"; } >"$out/whitespace-first.pdf"
# PostScript programs that carry a PDF header: gs would run them as PostScript.
printf '%%!PS\n%%PDF-1.4\n/Helvetica 40 selectfont 50 50 moveto (ran) show showpage\n' >"$out/postscript.pdf"
printf '%%%%Title: x\n%%PDF-1.4\n/Helvetica 40 selectfont 50 50 moveto (ran) show showpage\n' >"$out/comment-first.pdf"

# What qpdf, img2pdf and poppler's cairo back end write, where they are there.
if command -v qpdf >/dev/null; then
    qpdf --encrypt "" owner 256 -- "$good" "$out/aes-256.pdf"
    qpdf --encrypt "" owner 128 --use-aes=y -- "$good" "$out/aes-128.pdf"
fi
if command -v img2pdf >/dev/null; then
    convert -size 300x200 gradient:navy-orange "$ps/scan.jp2"
    img2pdf -o "$out/jpx.pdf" "$ps/scan.jp2"
fi
if command -v pdftocairo >/dev/null; then
    pdf cid-custom '<< /PageSize [300 200] >> setpagedevice
/ShanHeiSun-Light-UniCNS-UTF16-H findfont 48 scalefont setfont 20 120 moveto <4E2D65874F60597D> show
/Helvetica 20 selectfont 20 40 moveto (Leafmark) show showpage'
    pdftocairo -pdf "$out/cid-custom.pdf" "$out/cid-identity-h.pdf"
fi
