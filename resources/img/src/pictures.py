"""The window's pictures, drawn as SVG.

Each public function returns one complete SVG document whose width and height
are the pixel size of the file it becomes, so that rendering is one to one.
Shared pieces (the maker's mark, the integrated circuit, the diskette, the
radio waves) are drawn once here and placed by the pictures that show them.

Colours follow the window: the light blue of its hover borders and captions
(74,172,201) and the orange of its checked radio buttons (255,127,42).
Lettering uses Liberation Sans, the metric twin of the Arial the window names.
"""

import math

LIGHT_BLUE = "#4aacc9"
LIGHT_BLUE_DARK = "#2f8aa6"
LIGHT_BLUE_PALE = "#8fd0e6"
ORANGE = "#ff7f2a"
ORANGE_DARK = "#d9621a"
RED = "#d93a32"
RED_DARK = "#a82720"
GREEN = "#35a446"
GREEN_DARK = "#257a33"
GREY = "#7a7f85"
GREY_LIGHT = "#c9ced3"
INK = "#2b2e33"
WHITE = "#ffffff"

# The maker's own colours: a deep blue and a steel grey.
MAKER_BLUE = "#1c5aa6"
MAKER_GREY = "#8b939b"

FONT = "Liberation Sans, Arial, sans-serif"

# Liberation Sans Bold advance widths, in ems, of the characters lettered here;
# used to size lettering so that it fills the space it is given.
_BOLD_ADVANCE = {
    "V": 0.667, "A": 0.722, "L": 0.611, "O": 0.778, "R": 0.722, "I": 0.278,
    "S": 0.667, "N": 0.722, "D": 0.722, "U": 0.722, "T": 0.611, "E": 0.667,
    "0": 0.556, "1": 0.556, "2": 0.556, "3": 0.556, "4": 0.556, "5": 0.556,
    "6": 0.556, "7": 0.556, "8": 0.556, "9": 0.556,
}
# Height of capitals and digits above the baseline, in ems.
_CAP_HEIGHT = 0.716


def bold_width(text, size, spacing=0.0):
    """Width in pixels of `text` lettered bold at `size`, with `spacing` between letters."""
    return sum(_BOLD_ADVANCE[c] for c in text) * size + spacing * (len(text) - 1)


def _f(value):
    """A coordinate written compactly, to two decimals at most."""
    text = f"{value:.2f}".rstrip("0").rstrip(".")
    return "0" if text == "-0" else text


def document(width, height, body, defs=""):
    defs_block = f"<defs>{defs}</defs>" if defs else ""
    return (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
        f'viewBox="0 0 {width} {height}">{defs_block}{body}</svg>\n'
    )


def lettering(x, baseline, text, size, fill, anchor="middle", weight="bold", spacing=0.0, extra=""):
    # librsvg adds letter-spacing after the last letter too; shift centred
    # lettering back by half a space so that it stays centred.
    if anchor == "middle" and spacing:
        x += spacing / 2
    spacing_attr = f' letter-spacing="{_f(spacing)}"' if spacing else ""
    return (
        f'<text x="{_f(x)}" y="{_f(baseline)}" font-family="{FONT}" font-size="{_f(size)}" '
        f'font-weight="{weight}" text-anchor="{anchor}" fill="{fill}"{spacing_attr}{extra}>{text}</text>'
    )


def centred_lettering(cx, cy, text, size, fill, **kwargs):
    """Capitals or digits whose cap height is centred on (cx, cy)."""
    return lettering(cx, cy + _CAP_HEIGHT * size / 2, text, size, fill, **kwargs)


def polar(cx, cy, radius, degrees):
    """Point at `degrees` (0 to the right, growing clockwise on screen) around (cx, cy)."""
    a = math.radians(degrees)
    return cx + radius * math.cos(a), cy + radius * math.sin(a)


def arc(cx, cy, radius, start, end):
    """Path data of a circular arc from angle `start` to `end` (degrees, clockwise)."""
    x0, y0 = polar(cx, cy, radius, start)
    x1, y1 = polar(cx, cy, radius, end)
    large = 1 if abs(end - start) > 180 else 0
    sweep = 1 if end > start else 0
    return f"M{_f(x0)},{_f(y0)} A{_f(radius)},{_f(radius)} 0 {large} {sweep} {_f(x1)},{_f(y1)}"


def points(pairs):
    return " ".join(f"{_f(x)},{_f(y)}" for x, y in pairs)


def arrowhead(tip, direction_deg, length, half_width, fill):
    """A filled triangle whose tip is at `tip`, pointing towards `direction_deg`."""
    back = direction_deg + 180
    bx, by = polar(tip[0], tip[1], length, back)
    left = polar(bx, by, half_width, direction_deg - 90)
    right = polar(bx, by, half_width, direction_deg + 90)
    return f'<polygon points="{points([tip, left, right])}" fill="{fill}" stroke="{fill}" stroke-width="2" stroke-linejoin="round"/>'


def drop_shadow_filter(ident, width, height, dx, dy, blur, opacity):
    """A filter that lays a soft dark copy of a shape's outline, offset by dx,dy, under the shape.
    Its region is the whole picture, in the coordinates of the element it is set on."""
    return (
        f'<filter id="{ident}" filterUnits="userSpaceOnUse" x="0" y="0" width="{width}" height="{height}">'
        f'<feGaussianBlur in="SourceAlpha" stdDeviation="{_f(blur)}"/>'
        f'<feOffset dx="{_f(dx)}" dy="{_f(dy)}" result="offset"/>'
        f'<feFlood flood-color="{INK}" flood-opacity="{_f(opacity)}"/>'
        '<feComposite in2="offset" operator="in"/>'
        '<feMerge><feMergeNode/><feMergeNode in="SourceGraphic"/></feMerge>'
        "</filter>"
    )


# --------------------------------------------------------------------------
# The maker: VALORIS Industrie, a maker of our own.
# --------------------------------------------------------------------------

MARK_WIDTH, MARK_HEIGHT = 400, 300


def maker_mark():
    """The maker's mark in a 400x300 box: a broad V, its left arm blue and its
    right arm grey, with a reader's field rising in waves out of its fork."""
    left_arm = [(20, 20), (112, 20), (200, 212), (200, 290), (160, 290)]
    right_arm = [(200, 212), (288, 20), (380, 20), (240, 290), (200, 290)]
    fork = (200, 222)
    waves = []
    for radius, colour in ((58, MAKER_BLUE), (104, MAKER_GREY), (150, MAKER_BLUE)):
        waves.append(
            f'<path d="{arc(fork[0], fork[1], radius, -107, -73)}" fill="none" '
            f'stroke="{colour}" stroke-width="20" stroke-linecap="round"/>'
        )
    return (
        f'<polygon points="{points(left_arm)}" fill="{MAKER_BLUE}"/>'
        f'<polygon points="{points(right_arm)}" fill="{MAKER_GREY}"/>'
        + "".join(waves)
    )


SQUARE_LOGO_WIDTH, SQUARE_LOGO_HEIGHT = 400, 416


def square_logo():
    """The square logo in a 400x416 box: the mark over the lettered name."""
    mark = f'<g transform="translate(40,18) scale(0.8)">{maker_mark()}</g>'
    name_size = 86
    name = lettering(200, 348, "VALORIS", name_size, MAKER_BLUE)
    trade = lettering(200, 398, "INDUSTRIE", 36, MAKER_GREY, spacing=10)
    return mark + name + trade


def _placed(content, box_w, box_h, x, y, w, h):
    """`content` drawn in a box_w x box_h box, scaled uniformly into x,y,w,h and centred."""
    scale = min(w / box_w, h / box_h)
    dx = x + (w - box_w * scale) / 2
    dy = y + (h - box_h * scale) / 2
    return f'<g transform="translate({_f(dx)},{_f(dy)}) scale({scale:.6f})">{content}</g>'


def logo_square_plain(width, height):
    return document(width, height, _placed(square_logo(), SQUARE_LOGO_WIDTH, SQUARE_LOGO_HEIGHT, 0, 0, width, height))


def logo_square_shadowed(width, height, logo_width, logo_height):
    """The square logo at logo_width x logo_height with a soft shadow falling
    to the lower right into the rest of the picture."""
    scale = min(logo_width / SQUARE_LOGO_WIDTH, logo_height / SQUARE_LOGO_HEIGHT)
    s = width / 1834.0
    x = (width - logo_width) * 0.34
    y = (height - logo_height) * 0.34
    defs = drop_shadow_filter("shadow", width, height, 36 * s, 40 * s, 26 * s, 0.30)
    body = (
        f'<g filter="url(#shadow)"><g transform="translate({_f(x)},{_f(y)}) scale({scale:.6f})">'
        f"{square_logo()}</g></g>"
    )
    return document(width, height, body, defs)


def logo_wide(width, height):
    """The maker's logo in a landscape frame: the mark beside the lettered name."""
    name_size = 80
    name_w = bold_width("VALORIS", name_size)
    mark_h = height * 0.36
    mark_w = mark_h * MARK_WIDTH / MARK_HEIGHT
    gap = 24
    total = mark_w + gap + name_w
    x0 = (width - total) / 2
    cy = height / 2
    mark = _placed(maker_mark(), MARK_WIDTH, MARK_HEIGHT, x0, cy - mark_h / 2 - 6, mark_w, mark_h)
    text_x = x0 + mark_w + gap
    name = lettering(text_x, cy + 12, "VALORIS", name_size, MAKER_BLUE, anchor="start")
    trade_size = 30
    trade_spacing = (name_w - bold_width("INDUSTRIE", trade_size)) / 8
    trade = lettering(text_x, cy + 58, "INDUSTRIE", trade_size, MAKER_GREY, anchor="start", spacing=trade_spacing)
    rule_y = cy + 84
    rule = (
        f'<rect x="{_f(x0)}" y="{_f(rule_y)}" width="{_f(total * 0.62)}" height="8" fill="{MAKER_BLUE}"/>'
        f'<rect x="{_f(x0 + total * 0.62 + 8)}" y="{_f(rule_y)}" width="{_f(total * 0.38 - 8)}" height="8" fill="{MAKER_GREY}"/>'
    )
    return document(width, height, mark + name + trade + rule)


def _wave(x0, x1, cy, amplitude, period, phase, colour, stroke, opacity):
    steps = 120
    pts = []
    for i in range(steps + 1):
        x = x0 + (x1 - x0) * i / steps
        y = cy + amplitude * math.sin(2 * math.pi * (x - x0) / period + phase)
        pts.append((x, y))
    d = "M" + " L".join(f"{_f(x)},{_f(y)}" for x, y in pts)
    return (
        f'<path d="{d}" fill="none" stroke="{colour}" stroke-width="{_f(stroke)}" '
        f'stroke-linecap="round" stroke-linejoin="round" opacity="{_f(opacity)}"/>'
    )


def logo_lettered_waves(width, height):
    """The maker's name lettered over three coloured waveforms."""
    cy = height / 2
    waves = (
        _wave(8, width - 8, cy, height * 0.30, width * 0.50, 0.0, LIGHT_BLUE, 9, 0.9)
        + _wave(8, width - 8, cy, height * 0.22, width * 0.34, 1.9, ORANGE, 9, 0.9)
        + _wave(8, width - 8, cy, height * 0.36, width * 0.72, 3.6, MAKER_GREY, 7, 0.8)
    )
    size = (width - 30) / sum(_BOLD_ADVANCE[c] for c in "VALORIS")
    baseline = cy + _CAP_HEIGHT * size / 2
    halo = lettering(width / 2, baseline, "VALORIS", size, WHITE,
                     extra=f' stroke="{WHITE}" stroke-width="16" stroke-linejoin="round"')
    name = lettering(width / 2, baseline, "VALORIS", size, MAKER_BLUE)
    return document(width, height, waves + halo + name)


def maker_icon(width, height):
    """The maker's mark alone, on a white rounded tile, for an icon file."""
    pad = width * 0.04
    tile = (
        f'<rect x="{_f(pad)}" y="{_f(pad)}" width="{_f(width - 2 * pad)}" height="{_f(height - 2 * pad)}" '
        f'rx="{_f(width * 0.16)}" fill="{WHITE}" stroke="{MAKER_BLUE}" stroke-width="{_f(width * 0.025)}"/>'
    )
    inner = width * 0.14
    mark = _placed(maker_mark(), MARK_WIDTH, MARK_HEIGHT, inner, inner, width - 2 * inner, height - 2 * inner)
    return document(width, height, tile + mark)


# --------------------------------------------------------------------------
# The bench: tag, chips, diskettes, radio waves.
# --------------------------------------------------------------------------

def rfid_tag(width, height):
    """An RFID tag on a light square: an orange antenna coil of three turns,
    and the chip sitting across the turns, joining the coil's two ends."""
    s = width / 117.0
    body = [
        f'<rect x="{_f(3 * s)}" y="{_f(3 * s)}" width="{_f(111 * s)}" height="{_f(111 * s)}" '
        f'rx="{_f(14 * s)}" fill="#eef2f5" stroke="#c3cbd3" stroke-width="{_f(2.5 * s)}"/>'
    ]
    for inset in (15, 25, 35):
        i = inset * s
        size = width - 2 * i
        body.append(
            f'<rect x="{_f(i)}" y="{_f(i)}" width="{_f(size)}" height="{_f(size)}" rx="{_f(9 * s)}" '
            f'fill="none" stroke="{ORANGE}" stroke-width="{_f(5.5 * s)}"/>'
        )
    c = width / 2
    chip_w, chip_h = 26 * s, 34 * s
    top = height - 35 * s - 5 * s
    body.append(
        f'<rect x="{_f(c - chip_w / 2)}" y="{_f(top)}" width="{_f(chip_w)}" height="{_f(chip_h)}" '
        f'rx="{_f(3.5 * s)}" fill="{INK}" stroke="#eef2f5" stroke-width="{_f(2 * s)}"/>'
        f'<circle cx="{_f(c - chip_w / 2 + 6 * s)}" cy="{_f(top + 6 * s)}" r="{_f(2.4 * s)}" fill="#8a9099"/>'
    )
    return document(width, height, "".join(body))


def virtual_bench_icon(width, height):
    """The virtual bench: the tag, with an oscilloscope screen over its upper
    left corner showing a modified Miller request and the card's answer."""
    s = width / 117.0
    tag = rfid_tag(width, height)
    body = tag[tag.index(">", tag.index("<svg")) + 1:tag.rindex("</svg>")]
    x, y, w, h = 4 * s, 4 * s, 74 * s, 52 * s
    screen = [
        f'<rect x="{_f(x)}" y="{_f(y)}" width="{_f(w)}" height="{_f(h)}" rx="{_f(7 * s)}" '
        f'fill="{INK}" stroke="#eef2f5" stroke-width="{_f(3 * s)}"/>'
    ]
    # The trace: the carrier with the four short pauses of a request, then
    # the answer's small teeth of load modulation.
    top, low = y + 18 * s, y + 38 * s
    points = [(x + 7 * s, top)]
    for px in (14, 21, 31, 38):
        left, right = x + px * s, x + (px + 3) * s
        points += [(left, top), (left, low), (right, low), (right, top)]
    for k in range(4):
        left = x + (46 + 4.5 * k) * s
        points += [(left, top), (left, top + 7 * s), (left + 2 * s, top + 7 * s), (left + 2 * s, top)]
    points.append((x + w - 6 * s, top))
    path = "M" + " L".join(f"{_f(px)},{_f(py)}" for px, py in points)
    screen.append(
        f'<path d="{path}" fill="none" stroke="{GREEN}" stroke-width="{_f(1.8 * s)}" '
        f'stroke-linejoin="round" stroke-linecap="round"/>'
    )
    return document(width, height, body + "".join(screen))


IC_WIDTH, IC_HEIGHT = 133, 97


def integrated_circuit(body_fill, body_edge):
    """An integrated circuit seen from above in a 133x97 box: six legs on each long side."""
    parts = []
    leg_w, leg_h = 8, 16
    for k in range(6):
        x = 26 + k * 15.2
        parts.append(f'<rect x="{_f(x)}" y="4" width="{leg_w}" height="{leg_h}" rx="1.5" fill="#a7afb7" stroke="#6f7780" stroke-width="1.5"/>')
        parts.append(f'<rect x="{_f(x)}" y="77" width="{leg_w}" height="{leg_h}" rx="1.5" fill="#a7afb7" stroke="#6f7780" stroke-width="1.5"/>')
    parts.append(
        f'<rect x="14" y="17" width="105" height="63" rx="7" fill="{body_fill}" stroke="{body_edge}" stroke-width="3.5"/>'
        f'<path d="{arc(14, 48.5, 9, -90, 90)}" fill="{body_edge}"/>'
        f'<circle cx="30" cy="66" r="4.5" fill="{body_edge}"/>'
    )
    return "".join(parts)


def light_blue_chip(width, height):
    return document(width, height, _placed(integrated_circuit(LIGHT_BLUE, LIGHT_BLUE_DARK),
                                           IC_WIDTH, IC_HEIGHT, 0, 0, width, height))


def diskette(x, y, size, colour, colour_dark, label):
    """A diskette of side `size` at x,y, with `label` lettered on its label."""
    s = size / 110.0
    cut = 16 * s
    outline = [(x, y), (x + size - cut, y), (x + size, y + cut), (x + size, y + size), (x, y + size)]
    label_w = 90 * s
    label_size = min(23 * s, (label_w - 8 * s) / sum(_BOLD_ADVANCE[c] for c in label))
    return (
        f'<polygon points="{points(outline)}" fill="{colour}" stroke="{colour_dark}" '
        f'stroke-width="{_f(3.5 * s)}" stroke-linejoin="round"/>'
        # The metal shutter and the window in it.
        f'<rect x="{_f(x + 24 * s)}" y="{_f(y)}" width="{_f(58 * s)}" height="{_f(34 * s)}" fill="#d5dade" stroke="#8d959d" stroke-width="{_f(2 * s)}"/>'
        f'<rect x="{_f(x + 60 * s)}" y="{_f(y + 6 * s)}" width="{_f(13 * s)}" height="{_f(22 * s)}" fill="#59616a"/>'
        # The paper label.
        f'<rect x="{_f(x + 10 * s)}" y="{_f(y + 50 * s)}" width="{_f(label_w)}" height="{_f(52 * s)}" rx="{_f(4 * s)}" fill="{WHITE}"/>'
        + centred_lettering(x + 55 * s, y + 76 * s, label, label_size, INK)
    )


def configuration_reload(width, height, colour, colour_dark, label):
    """A diskette, labelled with a card family, and a curved arrow from it to an integrated circuit."""
    s = height / 144.0
    parts = [diskette(6 * s, 30 * s, 108 * s, colour, colour_dark, label)]
    ic = _placed(integrated_circuit(LIGHT_BLUE, LIGHT_BLUE_DARK), IC_WIDTH, IC_HEIGHT,
                 140 * s, 60 * s, 100 * s, 78 * s)
    parts.append(ic)
    start = (92 * s, 24 * s)
    control = (150 * s, -16 * s)
    end = (186 * s, 46 * s)
    direction = math.degrees(math.atan2(end[1] - control[1], end[0] - control[0]))
    head = 20 * s
    shaft_end = polar(end[0], end[1], head * 0.7, direction + 180)
    parts.append(
        f'<path d="M{_f(start[0])},{_f(start[1])} Q{_f(control[0])},{_f(control[1])} {_f(shaft_end[0])},{_f(shaft_end[1])}" '
        f'fill="none" stroke="{colour}" stroke-width="{_f(8 * s)}" stroke-linecap="round"/>'
    )
    parts.append(arrowhead(end, direction, head, 11 * s, colour))
    return document(width, height, "".join(parts))


def radio_waves(cx, cy, radii, half_angle, facing, colour, stroke, dot_colour, dot_radius):
    """Concentric arcs around (cx, cy) opening towards `facing` degrees, with the emitter as a dot."""
    parts = [f'<circle cx="{_f(cx)}" cy="{_f(cy)}" r="{_f(dot_radius)}" fill="{dot_colour}"/>']
    for radius in radii:
        parts.append(
            f'<path d="{arc(cx, cy, radius, facing - half_angle, facing + half_angle)}" fill="none" '
            f'stroke="{colour}" stroke-width="{_f(stroke)}" stroke-linecap="round"/>'
        )
    return "".join(parts)


def rf_send_button(width, height):
    """Black radio waves in a light-blue round button; the emitter is orange."""
    c = width / 2
    s = width / 135.0
    button = (
        f'<circle cx="{_f(c)}" cy="{_f(c)}" r="{_f(c - 4 * s)}" fill="{LIGHT_BLUE_PALE}" '
        f'stroke="{LIGHT_BLUE}" stroke-width="{_f(6 * s)}"/>'
    )
    waves = radio_waves(40 * s, c, (26 * s, 46 * s, 66 * s), 48, 0, INK, 9 * s, ORANGE, 11 * s)
    return document(width, height, button + waves)


def rf_waves_sideways(width, height, facing):
    """Orange radio waves opening to the left (facing 180) or to the right (facing 0)."""
    s = height / 165.0
    cx = 14 * s if facing == 0 else width - 14 * s
    cy = height / 2
    waves = radio_waves(cx, cy, (30 * s, 58 * s, 86 * s), 54, facing, ORANGE, 11 * s, ORANGE, 10 * s)
    return document(width, height, waves)


# --------------------------------------------------------------------------
# Arrows, marks and numbers.
# --------------------------------------------------------------------------

def _solid(pts, fill, join=6):
    """A filled shape with its corners slightly rounded by a stroke of its own colour."""
    return (
        f'<polygon points="{points(pts)}" fill="{fill}" stroke="{fill}" '
        f'stroke-width="{_f(join)}" stroke-linejoin="round"/>'
    )


def arrow_right(width, height, colour):
    m = 6
    shaft_top, shaft_bottom = height * 0.32, height * 0.68
    neck = width * 0.58
    pts = [(m, shaft_top), (neck, shaft_top), (neck, m), (width - m, height / 2),
           (neck, height - m), (neck, shaft_bottom), (m, shaft_bottom)]
    return document(width, height, _solid(pts, colour))


def arrow_left(width, height, colour):
    m = 6
    shaft_top, shaft_bottom = height * 0.31, height * 0.69
    neck = width * 0.46
    pts = [(m, height / 2), (neck, m), (neck, shaft_top), (width - m, shaft_top),
           (width - m, shaft_bottom), (neck, shaft_bottom), (neck, height - m)]
    return document(width, height, _solid(pts, colour))


def arrow_down(width, height, colour):
    m = 6
    shaft_left, shaft_right = width * 0.31, width * 0.69
    neck = height * 0.52
    pts = [(shaft_left, m), (shaft_right, m), (shaft_right, neck), (width - m, neck),
           (width / 2, height - m), (m, neck), (shaft_left, neck)]
    return document(width, height, _solid(pts, colour))


def arrow_curving_down_left(width, height, colour):
    """A thick arrow that falls from the upper right and turns to point left."""
    s = width / 138.0
    end = (56 * s, 112 * s)
    shaft = (
        f'<path d="M{_f(112 * s)},{_f(14 * s)} C{_f(130 * s)},{_f(72 * s)} {_f(112 * s)},{_f(112 * s)} {_f(end[0])},{_f(end[1])}" '
        f'fill="none" stroke="{colour}" stroke-width="{_f(24 * s)}" stroke-linecap="round"/>'
    )
    head = arrowhead((8 * s, 112 * s), 180, 52 * s, 30 * s, colour)
    return document(width, height, shaft + head)


def chevron_down(width, height, colour):
    stroke = 2.6
    pts = [(3, 3.2), (width / 2, height - 3), (width - 3, 3.2)]
    return document(width, height,
                    f'<polyline points="{points(pts)}" fill="none" stroke="{colour}" '
                    f'stroke-width="{stroke}" stroke-linecap="round" stroke-linejoin="round"/>')


def tick(width, height):
    """A green tick over its soft grey shadow."""
    s = width / 334.0
    pts = [(14, 138), (62, 90), (118, 146), (250, 16), (298, 64), (118, 244)]
    pts = [(x * s, y * s) for x, y in pts]
    defs = drop_shadow_filter("shadow", width, height, 14 * s, 14 * s, 5 * s, 0.45)
    return document(width, height, f'<g filter="url(#shadow)">{_solid(pts, GREEN, 14 * s)}</g>', defs)


def numbered_disc(width, height, digit, colour):
    c = width / 2
    disc = f'<circle cx="{_f(c)}" cy="{_f(c)}" r="{_f(c - 3)}" fill="{colour}"/>'
    return document(width, height, disc + centred_lettering(c, c, digit, width * 0.68, WHITE))


def info_badge(width, height):
    """A small orange disc holding a white "i", drawn as shapes to stay crisp at 24 pixels."""
    c = width / 2
    s = width / 24.0
    body = (
        f'<circle cx="{_f(c)}" cy="{_f(c)}" r="{_f(11.2 * s)}" fill="{ORANGE}"/>'
        f'<circle cx="{_f(c)}" cy="{_f(6.8 * s)}" r="{_f(1.9 * s)}" fill="{WHITE}"/>'
        f'<rect x="{_f(c - 1.7 * s)}" y="{_f(10 * s)}" width="{_f(3.4 * s)}" height="{_f(8.6 * s)}" rx="{_f(0.6 * s)}" fill="{WHITE}"/>'
    )
    return document(width, height, body)


def refresh(width, height, colour):
    """Two grey arrows chasing each other round a circle."""
    cx, cy = width / 2, height / 2
    s = min(width, height) / 274.0
    radius = 98 * s
    stroke = 34 * s
    parts = []
    for start in (200, 20):
        end = start + 125
        parts.append(
            f'<path d="{arc(cx, cy, radius, start, end)}" fill="none" stroke="{colour}" '
            f'stroke-width="{_f(stroke)}" stroke-linecap="butt"/>'
        )
        # The head continues the arc, pointing along it (clockwise).
        base = polar(cx, cy, radius, end)
        tip = polar(cx, cy, radius, end + 28)
        direction = math.degrees(math.atan2(tip[1] - base[1], tip[0] - base[0]))
        left = polar(base[0], base[1], 46 * s, direction - 90)
        right = polar(base[0], base[1], 46 * s, direction + 90)
        parts.append(_solid([tip, left, right], colour, 8 * s))
    return document(width, height, "".join(parts))


def usb_symbol(colour, stroke):
    """The USB trident in a 100x100 box."""
    line = f'fill="none" stroke="{colour}" stroke-width="{_f(stroke)}" stroke-linecap="round" stroke-linejoin="round"'
    return (
        f'<path d="M50,80 L50,24" {line}/>'
        f'<polygon points="50,9 39,27 61,27" fill="{colour}" stroke="{colour}" stroke-width="3" stroke-linejoin="round"/>'
        f'<circle cx="50" cy="83" r="9" fill="{colour}"/>'
        f'<path d="M50,66 L29,52 L29,42" {line}/>'
        f'<circle cx="29" cy="38" r="7" fill="{colour}"/>'
        f'<path d="M50,58 L71,45 L71,37" {line}/>'
        f'<rect x="64" y="25" width="14" height="14" fill="{colour}"/>'
    )


def usb_button(width, height, fill, edge, struck_out):
    c = width / 2
    s = width / 129.0
    disc = f'<circle cx="{_f(c)}" cy="{_f(c)}" r="{_f(c - 4 * s)}" fill="{fill}" stroke="{edge}" stroke-width="{_f(6 * s)}"/>'
    symbol = _placed(usb_symbol(WHITE, 10), 100, 100, c - 42 * s, c - 42 * s, 84 * s, 84 * s)
    body = disc + symbol
    if struck_out:
        a = polar(c, c, 46 * s, 225)
        b = polar(c, c, 46 * s, 45)
        body += (
            f'<line x1="{_f(a[0])}" y1="{_f(a[1])}" x2="{_f(b[0])}" y2="{_f(b[1])}" stroke="{fill}" '
            f'stroke-width="{_f(20 * s)}" stroke-linecap="round"/>'
            f'<line x1="{_f(a[0])}" y1="{_f(a[1])}" x2="{_f(b[0])}" y2="{_f(b[1])}" stroke="{WHITE}" '
            f'stroke-width="{_f(11 * s)}" stroke-linecap="round"/>'
        )
    return document(width, height, body)


def _dashes(x0, x1, y, colour, stroke, dash, gap):
    return (
        f'<line x1="{_f(x0)}" y1="{_f(y)}" x2="{_f(x1)}" y2="{_f(y)}" stroke="{colour}" '
        f'stroke-width="{_f(stroke)}" stroke-dasharray="{_f(dash)} {_f(gap)}" stroke-linecap="butt"/>'
    )


def connected_wire(width, height):
    """A green dashed line through a green disc holding a lightning bolt."""
    cx, cy = width / 2, height / 2
    r = height / 2 - 4
    s = r / 60.0
    bolt = [(10, -46), (-25, 8), (-3, 8), (-12, 46), (25, -10), (3, -10), (16, -46)]
    bolt = [(cx + x * s, cy + y * s) for x, y in bolt]
    body = (
        _dashes(6, cx - r, cy, GREEN, 16, 36, 20)
        + _dashes(width - 6, cx + r, cy, GREEN, 16, 36, 20)
        + f'<circle cx="{_f(cx)}" cy="{_f(cy)}" r="{_f(r)}" fill="{GREEN}" stroke="{GREEN_DARK}" stroke-width="4"/>'
        + _solid(bolt, WHITE, 3)
    )
    return document(width, height, body)


def disconnected_wire(width, height):
    """A red dashed line through a plug pulled out of its socket."""
    cy = height / 2
    s = height / 91.0
    plug_left, plug_right = 180 * s, 246 * s
    prong_end = 276 * s
    socket_left, socket_right = 304 * s, 368 * s
    body_h = 54 * s
    prong_h = 10 * s
    parts = [
        _dashes(6, plug_left, cy, RED, 12 * s, 30 * s, 16 * s),
        _dashes(width - 6, socket_right, cy, RED, 12 * s, 30 * s, 16 * s),
        # The plug: its body and two prongs pointing at the socket.
        f'<rect x="{_f(plug_left)}" y="{_f(cy - body_h / 2)}" width="{_f(plug_right - plug_left)}" height="{_f(body_h)}" rx="{_f(9 * s)}" fill="{RED}"/>',
        f'<rect x="{_f(plug_right - 4 * s)}" y="{_f(cy - 17 * s - prong_h / 2)}" width="{_f(prong_end - plug_right + 4 * s)}" height="{_f(prong_h)}" rx="{_f(2 * s)}" fill="{RED_DARK}"/>',
        f'<rect x="{_f(plug_right - 4 * s)}" y="{_f(cy + 17 * s - prong_h / 2)}" width="{_f(prong_end - plug_right + 4 * s)}" height="{_f(prong_h)}" rx="{_f(2 * s)}" fill="{RED_DARK}"/>',
        # The socket: its body with the two holes that the prongs left.
        f'<rect x="{_f(socket_left)}" y="{_f(cy - body_h / 2)}" width="{_f(socket_right - socket_left)}" height="{_f(body_h)}" rx="{_f(9 * s)}" fill="{RED}"/>',
        f'<rect x="{_f(socket_left + 5 * s)}" y="{_f(cy - 17 * s - prong_h / 2 - 1 * s)}" width="{_f(20 * s)}" height="{_f(prong_h + 2 * s)}" rx="{_f(2 * s)}" fill="{RED_DARK}"/>',
        f'<rect x="{_f(socket_left + 5 * s)}" y="{_f(cy + 17 * s - prong_h / 2 - 1 * s)}" width="{_f(20 * s)}" height="{_f(prong_h + 2 * s)}" rx="{_f(2 * s)}" fill="{RED_DARK}"/>',
    ]
    return document(width, height, "".join(parts))


def bnc_socket(width, height):
    """A panel BNC socket seen from the front: hex nut, barrel with its two
    bayonet studs, the insulator and the centre contact."""
    c = width / 2
    s = width / 63.0
    hexagon = [polar(c, c, 30 * s, 30 + 60 * k) for k in range(6)]
    return document(width, height, (
        f'<polygon points="{points(hexagon)}" fill="#b9bfc5" stroke="#6d747b" stroke-width="{_f(1.6 * s)}" stroke-linejoin="round"/>'
        f'<rect x="{_f(c - 23.5 * s)}" y="{_f(c - 3.2 * s)}" width="{_f(47 * s)}" height="{_f(6.4 * s)}" rx="{_f(2 * s)}" fill="#8f979f" stroke="#5d646b" stroke-width="{_f(1 * s)}"/>'
        f'<circle cx="{_f(c)}" cy="{_f(c)}" r="{_f(19 * s)}" fill="#dfe3e7" stroke="#6d747b" stroke-width="{_f(1.6 * s)}"/>'
        f'<circle cx="{_f(c)}" cy="{_f(c)}" r="{_f(14.5 * s)}" fill="#2f3237"/>'
        f'<circle cx="{_f(c)}" cy="{_f(c)}" r="{_f(10.5 * s)}" fill="#f1ead6"/>'
        f'<circle cx="{_f(c)}" cy="{_f(c)}" r="{_f(3.6 * s)}" fill="#d9a520" stroke="#9b7412" stroke-width="{_f(0.8 * s)}"/>'
        f'<circle cx="{_f(c)}" cy="{_f(c)}" r="{_f(1.3 * s)}" fill="#5b430b"/>'
    ))
