#!/usr/bin/env bash
# Regenerates the decoder fixtures with ImageMagick from PngSuite images. The sources
# are first rewritten from their raw pixels so that they carry no gAMA chunk, which
# ImageMagick would otherwise apply while converting.
set -euo pipefail
cd "$(dirname "$0")"
suite=${1:-../pngsuite/png}
dvtool=${2:-../../../build/dvtool}
source_png() {  # pngsuite-name target.png imagemagick-type
    "$dvtool" image "$suite/$1.png" tmp.pam
    tail -c 4096 tmp.pam > tmp.rgba
    convert -size 32x32 -depth 8 rgba:tmp.rgba -type "$3" "$2"
    rm tmp.pam tmp.rgba
}
source_png basn2c08 rgb.png TrueColor
source_png basn6a08 rgba.png TrueColorAlpha
source_png basn0g08 grey.png Grayscale
source_png basn3p08 pal8.png Palette
source_png basn3p04 pal4.png Palette
source_png basn0g01 mono.png Bilevel

convert rgb.png BMP3:bmp24.bmp
convert pal8.png -type Palette -compress None BMP3:bmp8.bmp
convert pal8.png -type Palette -compress RLE BMP3:bmp8rle.bmp
convert pal4.png -type Palette -colors 16 BMP3:bmp4.bmp
convert mono.png -type Bilevel BMP3:bmp1.bmp
convert rgb.png -define bmp:subtype=RGB565 bmp16.bmp
convert rgb.png -define bmp:subtype=RGB555 bmp15.bmp
convert rgba.png BMP:bmp32a.bmp
convert rgb.png BMP2:os2.bmp
convert rgba.png ico32.ico
convert rgba.png -define icon:auto-resize=32,16 icomulti.ico
convert rgb.png -compress None -orient TopLeft tga24.tga
convert rgba.png -compress None -orient TopLeft tga32.tga
convert rgb.png -compress RLE -orient TopLeft tga24rle.tga
convert pal8.png -type Palette -compress None -orient TopLeft tgapal.tga
convert pal8.png -type Palette -compress RLE -orient TopLeft tgapalrle.tga
convert grey.png -type Grayscale -compress None -orient TopLeft tgagrey.tga
convert grey.png -type Grayscale -compress RLE -orient TopLeft tgagreyrle.tga
convert rgb.png pcx24.pcx
convert rgba.png pcx32.pcx
convert pal8.png -type Palette pcx8.pcx
convert rgb.png ppm6.ppm
convert rgb.png -compress None ppm3.ppm
convert rgb.png -depth 16 ppm6_16.ppm
convert grey.png pgm5.pgm
convert grey.png -compress None pgm2.pgm
convert mono.png pbm4.pbm
convert mono.png -compress None pbm1.pbm
convert rgb.png SGI:sgirle.sgi
convert rgb.png -compress None SGI:sgiraw.sgi
convert rgba.png SGI:sgirgba.sgi
convert grey.png -type Grayscale SGI:sgigrey.bw
convert rgb.png -depth 16 SGI:sgi16.rgb
convert rgb.png psdrle.psd
convert rgb.png -compress None psdraw.psd
convert rgba.png psdrgba.psd
convert grey.png -type Grayscale psdgrey.psd
convert pal8.png -type Palette psdpal.psd
convert rgb.png -depth 16 psd16.psd
convert rgb.png -quality 95 jpeg.jpg
convert grey.png -quality 95 jpeggrey.jpg
convert rgb.png -colorspace CMYK -quality 95 jpegcmyk.jpg
convert rgb.png -compress LZW tifflzw.tif
convert rgba.png -compress Zip tiffrgba.tiff
convert mono.png -type Bilevel -compress Group4 TIFF:fax.fax
