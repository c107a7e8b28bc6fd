#!/usr/bin/env python3
"""Draws every picture of the window again from pictures.py.

Each picture is written as SVG, rendered to a PNG by rsvg-convert at its exact
pixel size, and, for the two files that are not PNGs, converted: the GIF by
ImageMagick, the Windows icon files by this script itself, since their layout
(one 8-bit palette image with its transparency mask, or one PNG image) must be
exactly what the program and Windows expect.

    python3 render.py                # every picture, into resources/img/
    python3 render.py --svg DIR      # also keep the SVG documents in DIR
    python3 render.py tick.png ...   # only the pictures named
    python3 render.py --icons        # only the desktop's icons, into resources/icons/

The results are committed, so building TagBench never needs these tools.
"""

import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import pictures as P

HERE = os.path.dirname(os.path.abspath(__file__))
OUTPUT_DIR = os.path.dirname(HERE)

# Every picture: file name, stored size, and its drawing. The format follows
# from the name's extension.
PICTURES = [
    ("tag.png", 117, 117, P.rfid_tag),
    ("VARNO sans ombre big.png", 1572, 1636, P.logo_square_plain),
    ("icone_info.png", 24, 24, P.info_badge),
    ("valoris2.png", 527, 244, P.logo_lettered_waves),
    ("refresh.png", 294, 274, lambda w, h: P.refresh(w, h, P.GREY)),
    ("usb_off.png", 129, 129, lambda w, h: P.usb_button(w, h, P.RED, P.RED_DARK, struck_out=True)),
    ("usb_on.png", 129, 129, lambda w, h: P.usb_button(w, h, P.GREEN, P.GREEN_DARK, struck_out=False)),
    ("cowired.png", 487, 129, P.connected_wire),
    ("decowire.png", 544, 91, P.disconnected_wire),
    ("downarrow.png", 17, 12, lambda w, h: P.chevron_down(w, h, P.GREY)),
    ("fleche_droite_bleu.png", 149, 125, lambda w, h: P.arrow_right(w, h, P.LIGHT_BLUE)),
    ("fleche_gauche_orange.png", 138, 150, lambda w, h: P.arrow_curving_down_left(w, h, P.ORANGE)),
    ("nb1_bleu.png", 143, 143, lambda w, h: P.numbered_disc(w, h, "1", P.LIGHT_BLUE)),
    ("nb2_bleu.png", 143, 143, lambda w, h: P.numbered_disc(w, h, "2", P.LIGHT_BLUE)),
    ("nb3_orange.png", 143, 143, lambda w, h: P.numbered_disc(w, h, "3", P.ORANGE)),
    ("nb4_orange.png", 143, 143, lambda w, h: P.numbered_disc(w, h, "4", P.ORANGE)),
    ("bnc.png", 63, 63, P.bnc_socket),
    ("rfsignal_bleu_orange.png", 135, 135, P.rf_send_button),
    ("chip_orange.png", 245, 144, lambda w, h: P.configuration_reload(w, h, P.ORANGE, P.ORANGE_DARK, "14443A")),
    ("chip_rouge.png", 245, 144, lambda w, h: P.configuration_reload(w, h, P.RED, P.RED_DARK, "15693")),
    ("arrow_down.png", 146, 174, lambda w, h: P.arrow_down(w, h, P.LIGHT_BLUE)),
    ("tick.png", 334, 279, P.tick),
    ("chip_bleu.png", 133, 97, P.light_blue_chip),
    ("rfsignal_orange_gauche.png", 110, 165, lambda w, h: P.rf_waves_sideways(w, h, 180)),
    ("rfsignal_orange_droite.png", 110, 165, lambda w, h: P.rf_waves_sideways(w, h, 0)),
    ("marqeur_gauche.png", 117, 98, lambda w, h: P.arrow_left(w, h, P.ORANGE)),
    ("VARNO avec ombre big.png", 1834, 1934, lambda w, h: P.logo_square_shadowed(w, h, 1572, 1636)),
    ("logovalorisnew.png", 590, 403, P.logo_wide),
    ("valoris_carre.gif", 453, 450, P.logo_square_plain),
    ("valoris.ico", 256, 256, P.maker_icon),
    # The program file's own icon, outside the resource collection: the same
    # tag as the window's icon, as a PNG and as a Windows icon holding it.
    ("tagbench.png", 117, 117, P.rfid_tag),
    ("tagbench.ico", 117, 117, P.rfid_tag),
]

# The desktop's icons, in the freedesktop icon theme's layout under
# resources/icons/: each drawn at every size a menu or a dock asks for, and
# once as a scalable SVG document.
ICONS = [
    ("tagbench", P.rfid_tag),
    ("tagbench-banc-virtuel", P.virtual_bench_icon),
]
ICON_SIZES = [16, 24, 32, 48, 64, 128, 256]
ICON_DIR = os.path.join(os.path.dirname(OUTPUT_DIR), "icons", "hicolor")

# The two icon files differ: the maker's icon holds an 8-bit palette image,
# the program's icon a 32-bit image stored as PNG.
PNG_STORED_ICONS = {"tagbench.ico"}


def fail(message):
    sys.exit(f"render: {message}")


def find_tool(*names):
    for name in names:
        path = shutil.which(name)
        if path:
            return path
    fail(f"none of {', '.join(names)} is installed (see README.md)")


def run(*command):
    result = subprocess.run(command, capture_output=True)
    if result.returncode != 0:
        fail(f"{command[0]} failed: {result.stderr.decode(errors='replace').strip()}")
    return result.stdout


def png_header(path):
    """Width, height, bit depth and colour type of a PNG file."""
    with open(path, "rb") as f:
        head = f.read(33)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        fail(f"{path} is not a PNG")
    return struct.unpack(">IIBB", head[16:26])


def render_png(rsvg, svg_path, png_path, width, height):
    run(rsvg, "--format", "png", "--width", str(width), "--height", str(height), "--output", png_path, svg_path)
    w, h, depth, colour_type = png_header(png_path)
    if (w, h) != (width, height) or depth != 8 or colour_type != 6:
        fail(f"{png_path}: got {w}x{h}, depth {depth}, colour type {colour_type}; "
             f"wanted {width}x{height} RGBA, 8 bits a channel")


def read_bmp_indices(path):
    """Palette (list of (r, g, b)) and top-down rows of indices of an uncompressed palette BMP."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        fail(f"{path} is not a BMP")
    pixel_offset = struct.unpack_from("<I", data, 10)[0]
    header_size, width, height, _planes, bits, compression = struct.unpack_from("<IiiHHI", data, 14)
    colours_used = struct.unpack_from("<I", data, 46)[0]
    if bits not in (1, 4, 8) or compression != 0:
        fail(f"{path}: wanted an uncompressed palette image, got {bits} bits, compression {compression}")
    count = colours_used or (1 << bits)
    palette_at = 14 + header_size
    palette = []
    for k in range(count):
        b, g, r, _ = data[palette_at + 4 * k: palette_at + 4 * k + 4]
        palette.append((r, g, b))
    stride = ((width * bits + 31) // 32) * 4
    rows = []
    for y in range(abs(height)):
        row_start = pixel_offset + y * stride
        row = []
        for x in range(width):
            bit = x * bits
            byte = data[row_start + bit // 8]
            shift = 8 - bits - (bit % 8)
            row.append((byte >> shift) & ((1 << bits) - 1))
        rows.append(row)
    if height > 0:
        rows.reverse()
    return palette, rows


def write_palette_icon(magick, png_path, ico_path, width, height):
    """One 8-bit palette image with its 1-bit transparency mask: the layout of
    a classic Windows icon, which every icon reader takes."""
    with tempfile.TemporaryDirectory() as tmp:
        bmp = os.path.join(tmp, "colours.bmp")
        alpha = os.path.join(tmp, "alpha.gray")
        # Colours on white, so that the edges that the mask keeps blend into a
        # white window; 255 colours leave room for the black that masked
        # pixels must hold.
        run(magick, png_path, "-background", "white", "-alpha", "remove", "-alpha", "off",
            "+dither", "-colors", "255", "-type", "Palette", "-compress", "None", f"BMP3:{bmp}")
        run(magick, png_path, "-alpha", "extract", "-depth", "8", f"gray:{alpha}")
        palette, rows = read_bmp_indices(bmp)
        with open(alpha, "rb") as f:
            opacity = f.read()
    if len(rows) != height or any(len(r) != width for r in rows) or len(opacity) != width * height:
        fail(f"{ico_path}: the converted image is not {width}x{height}")
    if (0, 0, 0) not in palette:
        palette.append((0, 0, 0))
    if len(palette) > 256:
        fail(f"{ico_path}: {len(palette)} colours do not fit a 256-colour palette")
    black = palette.index((0, 0, 0))
    palette += [(0, 0, 0)] * (256 - len(palette))

    xor_rows, and_rows = [], []
    for y in range(height):
        transparent = [opacity[y * width + x] < 128 for x in range(width)]
        xor_rows.append(bytes(black if transparent[x] else rows[y][x] for x in range(width)))
        mask = bytearray(((width + 31) // 32) * 4)
        for x in range(width):
            if transparent[x]:
                mask[x // 8] |= 0x80 >> (x % 8)
        and_rows.append(bytes(mask))
    pad = (-width) % 4
    xor_data = b"".join(row + b"\0" * pad for row in reversed(xor_rows))
    and_data = b"".join(reversed(and_rows))
    palette_data = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, 2 * height, 1, 8, 0,
                       len(xor_data) + len(and_data), 0, 0, 0, 0)
    image = info + palette_data + xor_data + and_data
    write_icon_file(ico_path, width, height, 8, image)


def write_png_icon(png_path, ico_path, width, height):
    with open(png_path, "rb") as f:
        write_icon_file(ico_path, width, height, 32, f.read())


def write_icon_file(ico_path, width, height, bits, image):
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, bits, len(image), 6 + 16)
    with open(ico_path, "wb") as f:
        f.write(directory + entry + image)


def write_gif(magick, png_path, gif_path):
    # The GIF keeps no alpha worth having (one transparent colour makes jagged
    # edges): it is drawn on the white of the window instead.
    run(magick, png_path, "-background", "white", "-alpha", "remove", "-alpha", "off",
        "+dither", "-colors", "256", "-strip", gif_path)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("names", nargs="*", help="pictures to draw (default: all)")
    parser.add_argument("--svg", metavar="DIR", help="also write each picture's SVG document into DIR")
    parser.add_argument("--icons", action="store_true", help="draw only the desktop's icons")
    args = parser.parse_args()

    known = {name for name, *_ in PICTURES}
    unknown = [n for n in args.names if n not in known]
    if unknown:
        fail(f"no picture named {', '.join(unknown)}")

    rsvg = find_tool("rsvg-convert")
    magick = None
    if args.svg:
        os.makedirs(args.svg, exist_ok=True)

    with tempfile.TemporaryDirectory() as tmp:
        for name, width, height, draw in PICTURES:
            if (args.names and name not in args.names) or args.icons:
                continue
            stem, extension = os.path.splitext(name)
            svg_path = os.path.join(args.svg or tmp, stem + ".svg")
            with open(svg_path, "w", encoding="utf-8") as f:
                f.write(draw(width, height))
            target = os.path.join(OUTPUT_DIR, name)
            if extension == ".png":
                render_png(rsvg, svg_path, target, width, height)
            else:
                png_path = os.path.join(tmp, stem + ".png")
                render_png(rsvg, svg_path, png_path, width, height)
                if extension == ".ico" and name in PNG_STORED_ICONS:
                    write_png_icon(png_path, target, width, height)
                elif extension == ".ico":
                    magick = magick or find_tool("magick", "convert")
                    write_palette_icon(magick, png_path, target, width, height)
                elif extension == ".gif":
                    magick = magick or find_tool("magick", "convert")
                    write_gif(magick, png_path, target)
                else:
                    fail(f"{name}: no writer for {extension}")
            print(f"{name:32} {width}x{height}")

        if args.icons or not args.names:
            for stem, draw in ICONS:
                scalable = os.path.join(ICON_DIR, "scalable", "apps")
                os.makedirs(scalable, exist_ok=True)
                with open(os.path.join(scalable, stem + ".svg"), "w", encoding="utf-8") as f:
                    f.write(draw(256, 256))
                for size in ICON_SIZES:
                    folder = os.path.join(ICON_DIR, f"{size}x{size}", "apps")
                    os.makedirs(folder, exist_ok=True)
                    svg_path = os.path.join(tmp, f"{stem}-{size}.svg")
                    with open(svg_path, "w", encoding="utf-8") as f:
                        f.write(draw(size, size))
                    render_png(rsvg, svg_path, os.path.join(folder, stem + ".png"), size, size)
                print(f"{stem:32} icons at {', '.join(map(str, ICON_SIZES))} and scalable")


if __name__ == "__main__":
    main()
