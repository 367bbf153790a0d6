#!/usr/bin/python3
"""Draws Tresk Pro's default skin and writes the definition that places it.

    make_skin.py OUTPUT_FOLDER

writes OUTPUT_FOLDER/TreskPro.skn and the pictures it names into
OUTPUT_FOLDER/Tresk Pro Skin/. Everything is drawn here with Pillow and the DejaVu fonts; the
output depends on nothing else (the metal grain comes from a fixed seed), so every build makes
the same files.

Pictures with several frames stack them top to bottom, each the element's height: knobs turn
through 101 frames (value 0 to 1 over 300 degrees, so 0.5 has a frame of its own), buttons and
LEDs have two (up/off, down/on), rockers three (down, rest, up), the digit strip ten glyphs "0" to
"9", the pitch keyboard four (keys up, keys down, keys marked, keys marked and down).
"""

import math
import os
import random
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

SKIN_FOLDER = "Tresk Pro Skin"
WIDTH, HEIGHT = 1300, 880
SS = 4  # supersampling of the control pictures
BG_SS = 2  # supersampling of the background's shapes (its text is drawn at full size)

FONT_DIR = "/usr/share/fonts/truetype/dejavu"

# Colours
SILVER = (188, 190, 192)
INK = (24, 24, 26)
DARK = (38, 40, 44)
PRINT = (226, 226, 220)
DIM_PRINT = (150, 152, 150)
ORANGE = (232, 118, 38)
RED_INK = (196, 38, 30)

_fonts = {}


def font(size, bold=True, condensed=True):
    name = "DejaVuSans"
    if condensed:
        name += "Condensed"
    if bold:
        name += "-Bold"
    key = (name, size)
    if key not in _fonts:
        _fonts[key] = ImageFont.truetype(os.path.join(FONT_DIR, name + ".ttf"), size)
    return _fonts[key]


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(len(a)))


def shrink(image, size):
    """Down-samples a supersampled RGBA picture with its alpha premultiplied."""
    return image.convert("RGBa").resize(size, Image.LANCZOS).convert("RGBA")


def gradient_disc(diameter, top, bottom, angle=-35.0):
    """A disc filled with a linear gradient running from `top` to `bottom` at `angle` degrees."""
    big = diameter * 2
    column = Image.new("RGBA", (1, big))
    for y in range(big):
        column.putpixel((0, y), mix(top, bottom, y / (big - 1)) + (255,))
    square = column.resize((big, big)).rotate(angle, resample=Image.BICUBIC)
    offset = (big - diameter) // 2
    disc = square.crop((offset, offset, offset + diameter, offset + diameter))
    mask = Image.new("L", (diameter, diameter), 0)
    ImageDraw.Draw(mask).ellipse((0, 0, diameter - 1, diameter - 1), fill=255)
    disc.putalpha(mask)
    return disc


def polar(cx, cy, radius, degrees):
    """A point at `degrees` clockwise from twelve o'clock."""
    a = math.radians(degrees)
    return (cx + radius * math.sin(a), cy - radius * math.cos(a))


def knob_angle(value):
    return -150.0 + 300.0 * value


class Picture:
    """One PNG of the skin: `frames` pictures of width x height stacked vertically."""

    def __init__(self, name, width, height, frames):
        self.name = name
        self.width = width
        self.height = height
        self.frames = frames
        self.image = Image.new("RGBA", (width, height * frames), (0, 0, 0, 0))

    @property
    def file(self):
        return SKIN_FOLDER + "\\" + self.name

    def put(self, index, frame):
        self.image.paste(frame, (0, index * self.height))


# ---------------------------------------------------------------------------------------------
# Control pictures


def make_knob(name, size, frame_count, cap_top, cap_bottom, pointer, skirt=(28, 28, 30)):
    picture = Picture(name, size, size, frame_count)
    s = size * SS
    c = s / 2
    body = s * 0.43
    cap = s * 0.31

    shadow = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    ImageDraw.Draw(shadow).ellipse(
        (c - body + SS, c - body + 2.5 * SS, c + body + SS, c + body + 2.5 * SS),
        fill=(0, 0, 0, 150))
    shadow = shadow.filter(ImageFilter.GaussianBlur(1.6 * SS))

    skirt_disc = gradient_disc(int(body * 2), mix(skirt, (255, 255, 255), 0.22),
                               mix(skirt, (0, 0, 0), 0.4))
    cap_disc = gradient_disc(int(cap * 2), cap_top, cap_bottom)
    rim = gradient_disc(int(cap * 2) + 2 * SS, (20, 20, 20), (120, 120, 124), angle=-35.0)

    for index in range(frame_count):
        angle = knob_angle(index / (frame_count - 1))
        frame = shadow.copy()
        frame.alpha_composite(skirt_disc, (int(c - body), int(c - body)))
        draw = ImageDraw.Draw(frame)
        # Grip ridges turn with the knob.
        for k in range(36):
            a = angle + k * 10.0
            shade = 90 + int(50 * max(0.0, math.cos(math.radians(a + 35))))
            draw.line((polar(c, c, cap + 1.5 * SS, a), polar(c, c, body - 0.6 * SS, a)),
                      fill=(shade, shade, shade + 4, 255), width=max(1, int(0.55 * SS)))
        frame.alpha_composite(rim, (int(c - cap - SS), int(c - cap - SS)))
        frame.alpha_composite(cap_disc, (int(c - cap), int(c - cap)))
        # Soft highlight on the cap's upper left.
        glow = Image.new("RGBA", (s, s), (0, 0, 0, 0))
        ImageDraw.Draw(glow).ellipse((c - cap * 0.75, c - cap * 0.85, c + cap * 0.1,
                                      c - cap * 0.05), fill=(255, 255, 255, 38))
        frame.alpha_composite(glow.filter(ImageFilter.GaussianBlur(1.5 * SS)))
        draw = ImageDraw.Draw(frame)
        # The pointer: a line across the cap that continues down the skirt.
        draw.line((polar(c, c, cap * 0.28, angle), polar(c, c, body - 0.3 * SS, angle)),
                  fill=pointer + (255,), width=int(max(1.8, size / 22.0) * SS))
        picture.put(index, shrink(frame, (size, size)))
    return picture


def key_cap(width, height, pressed, colour, legend=None, legend_colour=(240, 240, 236),
            lamp=None):
    """A square plastic key seen from above, `pressed` sitting lower with less shadow."""
    s = (width * SS, height * SS)
    frame = Image.new("RGBA", s, (0, 0, 0, 0))
    draw = ImageDraw.Draw(frame)
    r = 2.5 * SS
    inset = 1 * SS
    drop = 0.6 * SS if pressed else 2.0 * SS
    draw.rounded_rectangle((inset, inset + drop, s[0] - inset, s[1] - inset), r,
                           fill=(0, 0, 0, 150))
    frame = frame.filter(ImageFilter.GaussianBlur(0.8 * SS))
    draw = ImageDraw.Draw(frame)
    top = inset + (0.9 * SS if pressed else 0)
    bottom = s[1] - inset - drop
    body = (inset, top, s[0] - inset, bottom)
    face = mix(colour, (0, 0, 0), 0.12) if pressed else colour
    draw.rounded_rectangle(body, r, fill=mix(face, (0, 0, 0), 0.35) + (255,))
    draw.rounded_rectangle((body[0] + 0.8 * SS, body[1] + 0.5 * SS, body[2] - 0.8 * SS,
                            body[3] - 1.6 * SS), r * 0.8, fill=face + (255,))
    # a bright upper edge
    draw.line((body[0] + r, body[1] + 0.9 * SS, body[2] - r, body[1] + 0.9 * SS),
              fill=mix(face, (255, 255, 255), 0.35) + (255,), width=int(0.6 * SS))
    if lamp is not None:
        lw, lh = (body[2] - body[0]) * 0.55, 1.6 * SS
        lx = (body[0] + body[2]) / 2 - lw / 2
        ly = body[1] + 2.4 * SS
        draw.rounded_rectangle((lx, ly, lx + lw, ly + lh), 0.8 * SS, fill=lamp + (255,))
    result = shrink(frame, (width, height))
    if legend:
        text = ImageDraw.Draw(result)
        f = font(9)
        box = text.textbbox((0, 0), legend, font=f)
        tw, th = box[2] - box[0], box[3] - box[1]
        cy = (top + bottom) / 2 / SS + (1.5 if lamp is not None else 0)
        text.text((width / 2 - tw / 2 - box[0], cy - th / 2 - box[1] - 0.5), legend,
                  font=f, fill=legend_colour)
    return result


def make_button(name, width, height, colour, legend=None, legend_colour=(240, 240, 236)):
    picture = Picture(name, width, height, 2)
    picture.put(0, key_cap(width, height, False, colour, legend, legend_colour))
    picture.put(1, key_cap(width, height, True, colour, legend, legend_colour))
    return picture


def make_toggle(name, width, height, colour):
    """An on/off key with a lamp window: dark when off, lit amber when on."""
    picture = Picture(name, width, height, 2)
    picture.put(0, key_cap(width, height, False, colour, lamp=(70, 44, 20)))
    picture.put(1, key_cap(width, height, True, colour, lamp=(255, 178, 60)))
    return picture


def make_led(name, size, colour):
    picture = Picture(name, size, size, 2)
    s = size * SS
    for index, lit in enumerate((False, True)):
        frame = Image.new("RGBA", (s, s), (0, 0, 0, 0))
        draw = ImageDraw.Draw(frame)
        c = s / 2
        bezel = s * 0.46
        lens = s * 0.34
        draw.ellipse((c - bezel, c - bezel, c + bezel, c + bezel), fill=(12, 12, 12, 255))
        if lit:
            glow = Image.new("RGBA", (s, s), (0, 0, 0, 0))
            ImageDraw.Draw(glow).ellipse((c - bezel, c - bezel, c + bezel, c + bezel),
                                         fill=colour + (200,))
            frame.alpha_composite(glow.filter(ImageFilter.GaussianBlur(0.9 * SS)))
            lens_disc = gradient_disc(int(lens * 2), mix(colour, (255, 255, 255), 0.65),
                                      colour, angle=-20)
        else:
            lens_disc = gradient_disc(int(lens * 2), mix(colour, (0, 0, 0), 0.55),
                                      mix(colour, (0, 0, 0), 0.82), angle=-20)
        frame.alpha_composite(lens_disc, (int(c - lens), int(c - lens)))
        draw = ImageDraw.Draw(frame)
        draw.ellipse((c - lens * 0.55, c - lens * 0.7, c - lens * 0.05, c - lens * 0.25),
                     fill=(255, 255, 255, 150 if lit else 60))
        picture.put(index, shrink(frame, (size, size)))
    return picture


def make_rocker(name, width, height):
    """A vertical rocker with arrow marks: frames down, rest, up."""
    picture = Picture(name, width, height, 3)
    for index, tilt in enumerate((1, 0, -1)):
        s = (width * SS, height * SS)
        frame = Image.new("RGBA", s, (0, 0, 0, 0))
        draw = ImageDraw.Draw(frame)
        draw.rounded_rectangle((0, 0, s[0] - 1, s[1] - 1), 3 * SS, fill=(14, 14, 15, 255))
        inner = (1.5 * SS, 1.5 * SS, s[0] - 1.5 * SS, s[1] - 1.5 * SS)
        mid = s[1] / 2
        for half, sign in ((0, -1), (1, 1)):
            pressed = tilt == sign
            top = inner[1] if half == 0 else mid + 0.5 * SS
            bottom = mid - 0.5 * SS if half == 0 else inner[3]
            base = (58, 58, 62) if pressed else (86, 86, 92)
            lit = (118, 118, 124) if not pressed else (70, 70, 74)
            draw.rounded_rectangle((inner[0], top, inner[2], bottom), 2 * SS, fill=base + (255,))
            edge = top + 0.8 * SS if half == 0 else bottom - 1.2 * SS
            if not pressed:
                draw.line((inner[0] + 2 * SS, edge, inner[2] - 2 * SS, edge),
                          fill=lit + (255,), width=int(0.7 * SS))
            cx = s[0] / 2
            cy = (top + bottom) / 2
            a = 3.2 * SS
            if half == 0:
                points = [(cx - a, cy + a * 0.55), (cx + a, cy + a * 0.55), (cx, cy - a * 0.65)]
            else:
                points = [(cx - a, cy - a * 0.55), (cx + a, cy - a * 0.55), (cx, cy + a * 0.65)]
            draw.polygon(points, fill=(230, 230, 226, 255) if not pressed else (170, 170, 166, 255))
        picture.put(index, shrink(frame, (width, height)))
    return picture


def slide_frame(width, height, position, positions, vertical):
    s = (width * SS, height * SS)
    frame = Image.new("RGBA", s, (0, 0, 0, 0))
    draw = ImageDraw.Draw(frame)
    draw.rounded_rectangle((0, 0, s[0] - 1, s[1] - 1), 2.5 * SS, fill=(10, 10, 11, 255))
    draw.rounded_rectangle((1.2 * SS, 1.2 * SS, s[0] - 1.2 * SS, s[1] - 1.2 * SS), 2 * SS,
                           fill=(28, 28, 30, 255))
    length = (s[1] if vertical else s[0]) - 2.4 * SS
    thumb = length / max(positions, 2) if positions > 2 else length * 0.5
    start = 1.2 * SS + (length - thumb) * position / (positions - 1)
    if vertical:
        box = (1.8 * SS, start + 0.4 * SS, s[0] - 1.8 * SS, start + thumb - 0.4 * SS)
    else:
        box = (start + 0.4 * SS, 1.8 * SS, start + thumb - 0.4 * SS, s[1] - 1.8 * SS)
    draw.rounded_rectangle(box, 1.5 * SS, fill=(150, 152, 156, 255))
    draw.rounded_rectangle((box[0] + 0.6 * SS, box[1] + 0.6 * SS, box[2] - 0.6 * SS,
                            box[3] - 1.2 * SS), 1.2 * SS, fill=(206, 208, 210, 255))
    # grip lines across the thumb
    if vertical:
        cy = (box[1] + box[3]) / 2
        for d in (-1.6, 0, 1.6):
            draw.line((box[0] + 1.5 * SS, cy + d * SS, box[2] - 1.5 * SS, cy + d * SS),
                      fill=(120, 122, 126, 255), width=int(0.5 * SS))
    else:
        cx = (box[0] + box[2]) / 2
        for d in (-1.8, 0, 1.8):
            draw.line((cx + d * SS, box[1] + 1.5 * SS, cx + d * SS, box[3] - 1.8 * SS),
                      fill=(120, 122, 126, 255), width=int(0.5 * SS))
    return shrink(frame, (width, height))


def make_slide(name, width, height, positions, vertical):
    picture = Picture(name, width, height, positions)
    for position in range(positions):
        picture.put(position, slide_frame(width, height, position, positions, vertical))
    return picture


# Seven segments: a top, b upper right, c lower right, d bottom, e lower left, f upper left,
# g middle.
SEGMENTS = {
    "0": "abcdef", "1": "bc", "2": "abged", "3": "abgcd", "4": "fgbc",
    "5": "afgcd", "6": "afgedc", "7": "abc", "8": "abcdefg", "9": "abcdfg",
}


def make_digits(name, width, height):
    picture = Picture(name, width, height, 10)
    for index in range(10):
        s = (width * SS, height * SS)
        frame = Image.new("RGBA", s, (16, 6, 6, 255))
        lit_layer = Image.new("RGBA", s, (0, 0, 0, 0))
        draw = ImageDraw.Draw(frame)
        lit_draw = ImageDraw.Draw(lit_layer)
        t = 2.2 * SS  # segment thickness
        left, right = 3.2 * SS, s[0] - 2.6 * SS
        top, bottom = 3.0 * SS, s[1] - 3.0 * SS
        middle = (top + bottom) / 2
        slant = 0.09  # italic lean: x shifts right as y goes up

        def bar(x0, y0, x1, y1):
            h = t / 2
            if abs(y0 - y1) < 1:  # horizontal
                pts = [(x0 + h, y0 - h), (x1 - h, y0 - h), (x1, y0), (x1 - h, y0 + h),
                       (x0 + h, y0 + h), (x0, y0)]
            else:
                pts = [(x0, y0 + h), (x0 + h, y0 + h * 2), (x0 + h, y1 - h * 2), (x0, y1 - h),
                       (x0 - h, y1 - h * 2), (x0 - h, y0 + h * 2)]
            return [(x + (bottom - y) * slant, y) for x, y in pts]

        shapes = {
            "a": bar(left + 1 * SS, top, right - 1 * SS, top),
            "g": bar(left + 1 * SS, middle, right - 1 * SS, middle),
            "d": bar(left + 1 * SS, bottom, right - 1 * SS, bottom),
            "f": bar(left, top + 0.6 * SS, left, middle - 0.6 * SS),
            "e": bar(left, middle + 0.6 * SS, left, bottom - 0.6 * SS),
            "b": bar(right, top + 0.6 * SS, right, middle - 0.6 * SS),
            "c": bar(right, middle + 0.6 * SS, right, bottom - 0.6 * SS),
        }
        digit = str(index)
        for key, points in shapes.items():
            if key in SEGMENTS[digit]:
                lit_draw.polygon(points, fill=(255, 52, 36, 255))
            else:
                draw.polygon(points, fill=(52, 16, 14, 255))
        glow = lit_layer.filter(ImageFilter.GaussianBlur(1.4 * SS))
        frame.alpha_composite(glow)
        frame.alpha_composite(lit_layer)
        core = Image.new("RGBA", s, (0, 0, 0, 0))
        core_draw = ImageDraw.Draw(core)
        for key, points in shapes.items():
            if key in SEGMENTS[digit]:
                cx = sum(p[0] for p in points) / len(points)
                cy = sum(p[1] for p in points) / len(points)
                core_draw.polygon([(cx + (x - cx) * 0.45, cy + (y - cy) * 0.45) for x, y in points],
                                  fill=(255, 170, 140, 140))
        frame.alpha_composite(core.filter(ImageFilter.GaussianBlur(0.5 * SS)))
        picture.put(index, shrink(frame, (width, height)))
    return picture


def make_socket(name, size):
    """A jack socket with its nut; the second frame is the socket lit as a cable's target."""
    picture = Picture(name, size, size, 2)
    for index, target in enumerate((False, True)):
        s = size * SS
        c = s / 2
        frame = Image.new("RGBA", (s, s), (0, 0, 0, 0))
        shadow = Image.new("RGBA", (s, s), (0, 0, 0, 0))
        ImageDraw.Draw(shadow).ellipse((c - s * 0.44 + SS, c - s * 0.44 + 1.6 * SS,
                                        c + s * 0.44 + SS, c + s * 0.44 + 1.6 * SS),
                                       fill=(0, 0, 0, 170))
        frame.alpha_composite(shadow.filter(ImageFilter.GaussianBlur(1.2 * SS)))
        nut = s * 0.43
        hexagon = [polar(c, c, nut, 30 + 60 * k) for k in range(6)]
        draw = ImageDraw.Draw(frame)
        draw.polygon(hexagon, fill=(120, 122, 126, 255))
        mask = Image.new("L", (s, s), 0)
        ImageDraw.Draw(mask).polygon([polar(c, c, nut - 0.7 * SS, 30 + 60 * k)
                                      for k in range(6)], fill=255)
        fill = Image.new("RGBA", (s, s), (0, 0, 0, 0))
        fill.alpha_composite(gradient_disc(int(nut * 2), (226, 226, 228), (104, 106, 110)),
                             (int(c - nut), int(c - nut)))
        frame.paste(fill, (0, 0), mask)
        ring = s * 0.27
        frame.alpha_composite(gradient_disc(int(ring * 2), (70, 70, 74), (190, 190, 194)),
                              (int(c - ring), int(c - ring)))
        draw = ImageDraw.Draw(frame)
        hole = s * 0.17
        draw.ellipse((c - hole, c - hole, c + hole, c + hole), fill=(6, 6, 6, 255))
        if target:
            glow = Image.new("RGBA", (s, s), (0, 0, 0, 0))
            ImageDraw.Draw(glow).ellipse((c - ring, c - ring, c + ring, c + ring),
                                         outline=(255, 170, 40, 255), width=int(1.6 * SS))
            frame.alpha_composite(glow.filter(ImageFilter.GaussianBlur(0.8 * SS)))
            frame.alpha_composite(glow)
        picture.put(index, shrink(frame, (size, size)))
    return picture


def make_plug(name, size):
    """The end of a loose cable, seen from above: a knurled plug body."""
    picture = Picture(name, size, size, 1)
    s = size * SS
    c = s / 2
    frame = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    shadow = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    ImageDraw.Draw(shadow).ellipse((c - s * 0.4 + SS, c - s * 0.4 + 2 * SS, c + s * 0.4 + SS,
                                    c + s * 0.4 + 2 * SS), fill=(0, 0, 0, 150))
    frame.alpha_composite(shadow.filter(ImageFilter.GaussianBlur(1.5 * SS)))
    body = s * 0.4
    frame.alpha_composite(gradient_disc(int(body * 2), (90, 90, 96), (16, 16, 18)),
                          (int(c - body), int(c - body)))
    draw = ImageDraw.Draw(frame)
    for k in range(24):
        draw.line((polar(c, c, body * 0.72, k * 15), polar(c, c, body * 0.97, k * 15)),
                  fill=(70, 70, 76, 255), width=int(0.5 * SS))
    tip = s * 0.2
    frame.alpha_composite(gradient_disc(int(tip * 2), (250, 250, 250), (130, 130, 134)),
                          (int(c - tip), int(c - tip)))
    picture.put(0, shrink(frame, (size, size)))
    return picture


def make_shadow(name, size):
    picture = Picture(name, size, size, 1)
    s = size * SS
    frame = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    ImageDraw.Draw(frame).ellipse((s * 0.2, s * 0.2, s * 0.8, s * 0.8), fill=(0, 0, 0, 120))
    picture.put(0, shrink(frame.filter(ImageFilter.GaussianBlur(s * 0.1)), (size, size)))
    return picture


def make_display(name, width, height):
    """The floating read-out: a dark glass plate with a thin bezel."""
    picture = Picture(name, width, height, 1)
    s = (width * SS, height * SS)
    frame = Image.new("RGBA", s, (0, 0, 0, 0))
    draw = ImageDraw.Draw(frame)
    draw.rounded_rectangle((0, 0, s[0] - 1, s[1] - 1), 4 * SS, fill=(150, 152, 156, 235))
    draw.rounded_rectangle((1 * SS, 1 * SS, s[0] - 1 * SS, s[1] - 1 * SS), 3.4 * SS,
                           fill=(14, 18, 20, 240))
    draw.line((4 * SS, 2.2 * SS, s[0] - 4 * SS, 2.2 * SS), fill=(60, 70, 74, 255),
              width=int(0.6 * SS))
    picture.put(0, shrink(frame, (width, height)))
    return picture


# The pitch keyboard's geometry is fixed by how the control finds the key under the mouse:
# octaves 133 pixels wide, seven white keys of 19, black keys over these spans, 68 high.
OCTAVE = 133
WHITE_KEY = 19
BLACK_KEYS = [(1, 12, 25), (3, 31, 44), (6, 68, 82), (8, 88, 101), (10, 107, 120)]
BLACK_KEY_HEIGHT = 68
WHITE_SEMITONES = [0, 2, 4, 5, 7, 9, 11]


def make_keyboard(name, octaves, height):
    width = OCTAVE * octaves
    picture = Picture(name, width, height, 4)
    for index in range(4):
        pressed = index in (1, 3)
        marked = index in (2, 3)
        s = (width * SS, height * SS)
        frame = Image.new("RGBA", s, (12, 12, 12, 255))
        draw = ImageDraw.Draw(frame)
        for octave in range(octaves):
            ox = octave * OCTAVE
            for k in range(7):
                x0 = (ox + k * WHITE_KEY) * SS
                x1 = x0 + WHITE_KEY * SS - 1.2 * SS
                top_colour = (246, 244, 236) if not marked else (255, 196, 170)
                bottom_colour = (214, 210, 200) if not marked else (236, 150, 120)
                if pressed:
                    top_colour = mix(top_colour, (0, 0, 0), 0.1)
                    bottom_colour = mix(bottom_colour, (0, 0, 0), 0.14)
                lip = 1.0 if pressed else 4.0
                draw.rounded_rectangle((x0, 0, x1, s[1] - 1), 1.5 * SS,
                                       fill=bottom_colour + (255,))
                for y in range(0, int(s[1] - lip * SS)):
                    t = y / s[1]
                    draw.line((x0 + 0.3 * SS, y, x1 - 0.3 * SS, y),
                              fill=mix(top_colour, bottom_colour, t * 0.7) + (255,))
            for semitone, a, b in BLACK_KEYS:
                x0 = (ox + a) * SS
                x1 = (ox + b) * SS
                y1 = BLACK_KEY_HEIGHT * SS
                colour = (28, 28, 30) if not marked else (150, 40, 30)
                draw.rectangle((x0 - 0.6 * SS, 0, x1 + 0.6 * SS, y1 + 0.6 * SS),
                               fill=(0, 0, 0, 255))
                face_bottom = y1 - (1.0 if pressed else 4.0) * SS
                draw.rounded_rectangle((x0, 0, x1, y1), 1.2 * SS,
                                       fill=mix(colour, (0, 0, 0), 0.3) + (255,))
                draw.rounded_rectangle((x0 + 1.2 * SS, 0, x1 - 1.2 * SS, face_bottom), 1 * SS,
                                       fill=(mix(colour, (255, 255, 255), 0.12) if not pressed
                                             else colour) + (255,))
                draw.line((x0 + 2 * SS, 2 * SS, x0 + 2 * SS, face_bottom - 3 * SS),
                          fill=mix(colour, (255, 255, 255), 0.3) + (255,), width=int(0.6 * SS))
        # shadow of the key bed's lip over the keys
        lip = Image.new("RGBA", s, (0, 0, 0, 0))
        ImageDraw.Draw(lip).rectangle((0, 0, s[0], 3 * SS), fill=(0, 0, 0, 150))
        frame.alpha_composite(lip.filter(ImageFilter.GaussianBlur(1.5 * SS)))
        picture.put(index, shrink(frame, (width, height)))
    return picture


# ---------------------------------------------------------------------------------------------
# The panel


class Panel:
    """The background picture being drawn and the elements placed on it."""

    def __init__(self):
        self.shapes = Image.new("RGBA", (WIDTH * BG_SS, HEIGHT * BG_SS), DARK + (255,))
        self.draw = ImageDraw.Draw(self.shapes)
        self.texts = []  # drawn at full size after the shapes are reduced
        self.elements = []  # (comment, tag, file, x, y, w, h)
        self.pictures = {}

    def picture(self, picture):
        self.pictures[picture.name] = picture
        return picture

    def place(self, tag, picture, x, y, comment=None, width=None):
        """An element showing `picture`; `width` when it shows several side by side."""
        self.elements.append((comment, tag, picture.file, int(x), int(y),
                              width or picture.width, picture.height))

    def area(self, tag, x, y, w, h, comment=None):
        self.elements.append((comment, tag, "", int(x), int(y), int(w), int(h)))

    # Drawing in panel coordinates (the supersampling is applied here).
    def rect(self, box, fill=None, outline=None, width=1, radius=0):
        b = [v * BG_SS for v in box]
        if radius:
            self.draw.rounded_rectangle(b, radius * BG_SS, fill=fill, outline=outline,
                                        width=int(width * BG_SS))
        else:
            self.draw.rectangle(b, fill=fill, outline=outline, width=int(width * BG_SS))

    def line(self, points, fill, width=1.0):
        self.draw.line([(x * BG_SS, y * BG_SS) for x, y in points], fill=fill,
                       width=max(1, int(round(width * BG_SS))))

    def ellipse(self, box, fill=None, outline=None, width=1):
        self.draw.ellipse([v * BG_SS for v in box], fill=fill, outline=outline,
                          width=int(width * BG_SS))

    def polygon(self, points, fill):
        self.draw.polygon([(x * BG_SS, y * BG_SS) for x, y in points], fill=fill)

    def text(self, xy, text, size=9, fill=INK, anchor="mm", bold=True, condensed=True,
             spacing=0):
        self.texts.append((xy, text, size, fill, anchor, bold, condensed, spacing))

    def render(self):
        image = self.shapes.resize((WIDTH, HEIGHT), Image.LANCZOS)
        draw = ImageDraw.Draw(image)
        for xy, text, size, fill, anchor, bold, condensed, spacing in self.texts:
            f = font(size, bold, condensed)
            if spacing:
                # letter-spaced titles
                widths = [draw.textlength(ch, font=f) for ch in text]
                total = sum(widths) + spacing * (len(text) - 1)
                x = xy[0] - total / 2 if anchor[0] == "m" else (
                    xy[0] - total if anchor[0] == "r" else xy[0])
                for ch, w in zip(text, widths):
                    draw.text((x, xy[1]), ch, font=f, fill=fill, anchor="l" + anchor[1])
                    x += w + spacing
            else:
                draw.text(xy, text, font=f, fill=fill, anchor=anchor)
        return image


def brushed_metal(box, base, strength, seed):
    """Fine horizontal grain: random greys stretched along x."""
    x0, y0, x1, y1 = box
    w, h = (x1 - x0) * BG_SS, (y1 - y0) * BG_SS
    rng = random.Random(seed)
    small_w = max(2, w // 24)
    noise = Image.frombytes("L", (small_w, h), rng.randbytes(small_w * h))
    noise = noise.resize((w, h), Image.BILINEAR).filter(ImageFilter.GaussianBlur(0.6))
    plate = Image.new("RGBA", (w, h), base + (255,))
    light = Image.new("RGBA", (w, h), (255, 255, 255, 255))
    dark = Image.new("RGBA", (w, h), (0, 0, 0, 255))
    # above mid grey lightens, below darkens
    light_mask = noise.point(lambda v: int(max(0, v - 128) * strength))
    dark_mask = noise.point(lambda v: int(max(0, 128 - v) * strength))
    plate.paste(light, (0, 0), light_mask)
    plate.paste(dark, (0, 0), dark_mask)
    return plate


def plate(panel, box, base, strength, seed, radius=7):
    """A metal plate with rounded corners, bevelled edges and four screws."""
    x0, y0, x1, y1 = box
    shadow = Image.new("RGBA", panel.shapes.size, (0, 0, 0, 0))
    ImageDraw.Draw(shadow).rounded_rectangle(
        [(x0 + 1) * BG_SS, (y0 + 3) * BG_SS, (x1 + 1) * BG_SS, (y1 + 3) * BG_SS],
        radius * BG_SS, fill=(0, 0, 0, 170))
    panel.shapes.alpha_composite(shadow.filter(ImageFilter.GaussianBlur(3 * BG_SS)))
    metal = brushed_metal(box, base, strength, seed)
    mask = Image.new("L", metal.size, 0)
    ImageDraw.Draw(mask).rounded_rectangle((0, 0, metal.size[0] - 1, metal.size[1] - 1),
                                           radius * BG_SS, fill=255)
    panel.shapes.paste(metal, (x0 * BG_SS, y0 * BG_SS), mask)
    panel.draw = ImageDraw.Draw(panel.shapes)
    panel.rect((x0, y0, x1, y1), outline=mix(base, (255, 255, 255), 0.35), width=1,
               radius=radius)
    panel.line([(x0 + radius, y1 - 0.5), (x1 - radius, y1 - 0.5)],
               fill=mix(base, (0, 0, 0), 0.45), width=1)
    for sx, sy in ((x0 + 9, y0 + 9), (x1 - 9, y0 + 9), (x0 + 9, y1 - 9), (x1 - 9, y1 - 9)):
        screw(panel, sx, sy)


def screw(panel, x, y):
    r = 4.2
    panel.ellipse((x - r - 0.5, y - r + 0.5, x + r + 0.5, y + r + 1.5), fill=(0, 0, 0, 90))
    panel.ellipse((x - r, y - r, x + r, y + r), fill=(150, 152, 156, 255),
                  outline=(70, 72, 76, 255), width=0.6)
    panel.ellipse((x - r + 1.2, y - r + 1.0, x + r - 1.8, y + r - 2.2), fill=(196, 198, 200, 255))
    a = math.radians(35)
    dx, dy = math.cos(a) * (r - 1), math.sin(a) * (r - 1)
    panel.line([(x - dx, y - dy), (x + dx, y + dy)], fill=(60, 62, 66, 255), width=1.2)
    panel.line([(x + dy, y - dx), (x - dy, y + dx)], fill=(60, 62, 66, 255), width=1.2)


def knob_scale(panel, cx, cy, radius, colour, ticks=11):
    for k in range(ticks):
        a = knob_angle(k / (ticks - 1))
        major = k in (0, ticks // 2, ticks - 1)
        inner = radius + 2.5
        outer = radius + (7 if major else 5)
        panel.line([polar(cx, cy, inner, a), polar(cx, cy, outer, a)], fill=colour,
                   width=1.3 if major else 1.0)


def section_title(panel, x, y, w, text, on_dark):
    """A printed title bar across the top of a section."""
    colour = (20, 20, 22, 255) if not on_dark else (70, 72, 78, 255)
    panel.rect((x, y, x + w, y + 15), fill=colour, radius=3)
    panel.text((x + w / 2, y + 7.5), text, size=10, fill=(236, 236, 230), spacing=1.6)


def caption(panel, x0, x1, y, text):
    """A thin rule with a small caption in its middle, grouping the controls below it."""
    f = font(7)
    w = ImageDraw.Draw(Image.new("L", (1, 1))).textlength(text, font=f) + 8
    mid = (x0 + x1) / 2
    panel.line([(x0, y), (mid - w / 2, y)], fill=(92, 95, 102, 255))
    panel.line([(mid + w / 2, y), (x1, y)], fill=(92, 95, 102, 255))
    panel.text((mid, y), text, size=7, fill=DIM_PRINT)


def module_box(panel, box, title):
    x0, y0, x1, y1 = box
    panel.rect((x0, y0, x1, y1), fill=(44, 46, 51, 255), outline=(92, 95, 102, 255), width=1,
               radius=5)
    panel.rect((x0, y0, x1, y0 + 17), fill=(24, 25, 28, 255), radius=5)
    panel.rect((x0, y0 + 10, x1, y0 + 17), fill=(24, 25, 28, 255))
    panel.line([(x0 + 1, y0 + 17), (x1 - 1, y0 + 17)], fill=ORANGE + (255,), width=1.4)
    panel.text(((x0 + x1) / 2, y0 + 9), title, size=10, fill=(240, 240, 234), spacing=1.5)


class Layout:
    """Places controls with their printed labels and scales."""

    def __init__(self, panel, pictures):
        self.panel = panel
        self.p = pictures

    def knob(self, tag, picture, cx, cy, label, on_dark=False, label_size=9):
        size = picture.width
        ink = PRINT if on_dark else INK
        knob_scale(self.panel, cx, cy, size * 0.43, (ink + (255,)))
        self.panel.text((cx, cy - size / 2 - 9), label, size=label_size, fill=ink)
        self.panel.place(tag, picture, cx - size / 2, cy - size / 2)

    def led(self, tag, picture, cx, cy, label=None, on_dark=True, label_side="right"):
        self.panel.place(tag, picture, cx - picture.width / 2, cy - picture.height / 2)
        if label:
            ink = PRINT if on_dark else INK
            if label_side == "right":
                self.panel.text((cx + picture.width / 2 + 3, cy), label, size=8, fill=ink,
                                anchor="lm")
            elif label_side == "above":
                self.panel.text((cx, cy - picture.height / 2 - 6), label, size=8, fill=ink)
            else:
                self.panel.text((cx, cy + picture.height / 2 + 6), label, size=8, fill=ink)

    def button(self, tag, picture, cx, cy, label=None, on_dark=True, label_size=8,
               label_below=False):
        self.panel.place(tag, picture, cx - picture.width / 2, cy - picture.height / 2)
        if label:
            ink = PRINT if on_dark else INK
            dy = picture.height / 2 + 7
            self.panel.text((cx, cy + dy if label_below else cy - dy), label, size=label_size,
                            fill=ink)

    def socket(self, tag, cx, cy, label, output):
        picture = self.p["Socket"]
        self.panel.place(tag, picture, cx - picture.width / 2, cy - picture.height / 2)
        f = font(8)
        w = ImageDraw.Draw(Image.new("L", (1, 1))).textlength(label, font=f) + 6
        ty = cy + picture.height / 2 + 7
        if output:
            # outputs carry their label on a light plate, as on the hardware it copies
            self.panel.rect((cx - w / 2, ty - 5.5, cx + w / 2, ty + 5.5),
                            fill=(214, 214, 208, 255), radius=2)
            self.panel.text((cx, ty), label, size=8, fill=(20, 20, 22))
        else:
            self.panel.text((cx, ty), label, size=8, fill=PRINT)

    def digits(self, tag, cx, y, count, label, rocker_tag=None):
        glyph = self.p["Digits"]
        w = glyph.width * count
        x = cx - w / 2 - (12 if rocker_tag is not None else 0)
        self.panel.rect((x - 5, y - 4, x + w + 5, y + glyph.height + 4), fill=(8, 8, 9, 255),
                        outline=(90, 92, 96, 255), width=1, radius=3)
        self.panel.place(tag, glyph, x, y, width=w)
        self.panel.text((x + w / 2, y - 12), label, size=9, fill=INK)
        if rocker_tag is not None:
            rocker = self.p["Rocker"]
            self.panel.place(rocker_tag, rocker, x + w + 10,
                             y + glyph.height / 2 - rocker.height / 2)


def build(output):
    panel = Panel()
    p = {}

    def add(picture):
        p[picture.name.rsplit(".", 1)[0]] = panel.picture(picture)

    add(make_knob("KnobLarge.png", 50, 101, (74, 74, 78), (16, 16, 18), (244, 244, 240)))
    add(make_knob("KnobSmall.png", 34, 101, (212, 214, 218), (120, 122, 128), (20, 20, 22),
                  skirt=(34, 34, 38)))
    add(make_button("Button.png", 30, 20, (58, 58, 62)))
    add(make_button("ButtonRed.png", 30, 20, (176, 40, 32)))
    add(make_button("ButtonSmall.png", 22, 15, (64, 64, 70)))
    add(make_button("ButtonPrev.png", 20, 20, (58, 58, 62), "\u25c0", (230, 230, 226)))
    add(make_button("ButtonNext.png", 20, 20, (58, 58, 62), "\u25b6", (230, 230, 226)))
    add(make_button("ButtonMenu.png", 62, 20, (58, 58, 62)))
    add(make_button("ButtonStep.png", 36, 24, (226, 224, 216)))
    add(make_button("ButtonRun.png", 36, 24, (196, 46, 34)))
    add(make_toggle("Toggle.png", 30, 20, (58, 58, 62)))
    add(make_led("LedRed.png", 11, (255, 40, 28)))
    add(make_led("LedGreen.png", 11, (60, 255, 80)))
    add(make_led("LedAmber.png", 11, (255, 170, 30)))
    add(make_rocker("Rocker.png", 16, 30))
    add(make_slide("Switch2.png", 34, 14, 2, False))
    add(make_slide("Switch4.png", 14, 52, 4, True))
    add(make_digits("Digits.png", 15, 24))
    add(make_socket("Socket.png", 22))
    add(make_plug("CordPlug.png", 22))
    add(make_shadow("Shadow.png", 24))
    add(make_display("Display.png", 168, 38))
    add(make_keyboard("Keyboard.png", 3, 96))
    L = Layout(panel, p)

    # Base: a dark chassis, a silver plate for the voice and sequencer, a dark one for the
    # modular section.
    panel.shapes.paste(brushed_metal((0, 0, WIDTH, HEIGHT), (30, 31, 34), 0.05, 7),
                       (0, 0))
    panel.draw = ImageDraw.Draw(panel.shapes)
    top = (8, 8, WIDTH - 8, 438)
    plate(panel, top, SILVER, 0.16, 1)
    bottom = (8, 446, WIDTH - 8, HEIGHT - 8)
    plate(panel, bottom, (44, 46, 50), 0.07, 2)

    # --- Header: name plate, patch browser, menus -------------------------------------------
    panel.rect((24, 20, 300, 58), fill=(18, 18, 20, 255), radius=4)
    panel.text((38, 33), "TRESK PRO", size=24, fill=(240, 240, 236), anchor="lm",
               condensed=False, spacing=2.5)
    panel.rect((38, 46, 52, 49), fill=RED_INK + (255,))
    panel.text((58, 48), "ACID BASS SYNTHESIZER", size=8, fill=(180, 182, 184), anchor="lm",
               spacing=1.2)
    panel.area(SkinTag.SPLASH, 24, 20, 276, 38, "the name plate")

    # patch name window
    px, py, pw, ph = 430, 26, 280, 22
    panel.rect((px - 4, py - 4, px + pw + 4, py + ph + 4), fill=(10, 10, 11, 255),
               outline=(110, 112, 116, 255), width=1, radius=3)
    panel.rect((px, py, px + pw, py + ph), fill=(26, 40, 34, 255), radius=2)
    panel.text((px + pw / 2, py - 12), "PATCH", size=9, fill=INK)
    panel.area(SkinTag.PATCHBUTTON, px, py, pw, ph, "the patch name field and its menu")
    L.button(SkinTag.PREVPATCHBUTTON, p["ButtonPrev"], px - 22, py + ph / 2)
    L.button(SkinTag.NEXTPATCHBUTTON, p["ButtonNext"], px + pw + 22, py + ph / 2)

    mx = 820
    L.button(SkinTag.PATTERNMENU, p["ButtonMenu"], mx, 37, "PATTERN", on_dark=False,
             label_size=9)
    panel.area(SkinTag.PATTERNDROPDOWN, mx - 31, 48, 62, 20, "the pattern menu opens here")
    L.button(SkinTag.OPTIONMENU, p["ButtonMenu"], mx + 80, 37, "OPTIONS", on_dark=False,
             label_size=9)
    panel.area(SkinTag.OPTIONDROPDOWN, mx + 49, 48, 62, 20, "the options menu opens here")
    L.led(SkinTag.MIDILED, p["LedGreen"], 990, 37, "MIDI", on_dark=False, label_side="above")
    L.button(SkinTag.OPTIONPANIC, p["ButtonRed"], 1040, 37, "PANIC", on_dark=False,
             label_size=9)
    L.button(SkinTag.OPTIONINFO, p["Toggle"], 1100, 37, "INFO", on_dark=False, label_size=9)
    L.button(SkinTag.OPTIONMIDILEARN, p["Toggle"], 1150, 37, "LEARN", on_dark=False,
             label_size=9)
    L.button(SkinTag.OPTIONCABLES, p["Toggle"], 1200, 37, "CABLES", on_dark=False,
             label_size=9)
    L.button(SkinTag.OPTIONAUX, p["Toggle"], 1250, 37, "AUX IN", on_dark=False, label_size=9)

    # --- The voice: nine large knobs --------------------------------------------------------
    vy = 74
    section_title(panel, 24, vy, 752, "ACID VOICE", False)
    knobs = [
        (SkinTag.TUNINGKNOB, "TUNING"), (SkinTag.CUTOFFKNOB, "CUT OFF FREQ"),
        (SkinTag.RESONANCEKNOB, "RESONANCE"), (SkinTag.ENVMODKNOB, "ENV MOD"),
        (SkinTag.VCFTRACKINGKNOB, "TRACKING"), (SkinTag.ACCENTKNOB, "ACCENT"),
        (SkinTag.BOOSTKNOB, "BOOST"), (SkinTag.DISTORTKNOB, "SHAPER"),
        (SkinTag.VOLUMEKNOB, "VOLUME"),
    ]
    for i, (tag, label) in enumerate(knobs):
        L.knob(tag, p["KnobLarge"], 66 + i * 83.5, vy + 72, label, label_size=10)

    # the voice's switches
    section_title(panel, 792, vy, 484, "FILTER  \u00b7  ROUTING  \u00b7  PATTERN", False)
    sx = 830
    L.button(SkinTag.OPTIONFILTER, p["Button"], sx, vy + 58, "FILTER", on_dark=False,
             label_size=9)
    panel.text((sx, vy + 80), "MODEL", size=8, fill=INK)
    L.button(SkinTag.DISTORTIONSWITCH, p["Toggle"], sx + 64, vy + 58, "SHAPER", on_dark=False,
             label_size=9)
    panel.text((sx + 64, vy + 80), "ON", size=8, fill=INK)
    L.button(SkinTag.VCO2MODSWITCH, p["Toggle"], sx + 128, vy + 58, "VCO-2 MOD", on_dark=False,
             label_size=9)
    panel.text((sx + 128, vy + 80), "VCO-1 \u2192 VCO-2", size=8, fill=INK)
    L.button(SkinTag.PATTERNLOCK, p["Toggle"], sx + 192, vy + 58, "LOCK", on_dark=False,
             label_size=9)
    panel.text((sx + 192, vy + 80), "PATTERN", size=8, fill=INK)
    L.button(SkinTag.PATTERNWRITEPROTECT, p["Toggle"], sx + 256, vy + 58, "PROTECT",
             on_dark=False, label_size=9)
    panel.text((sx + 256, vy + 80), "WRITE", size=8, fill=INK)
    # function keys
    for i, (tag, led_tag) in enumerate(((SkinTag.FUNCTIONBUTTON1, SkinTag.FUNCTIONLED1),
                                        (SkinTag.FUNCTIONBUTTON2, SkinTag.FUNCTIONLED2))):
        fx = sx + 320 + i * 64
        L.button(tag, p["Button"], fx, vy + 58, "FUNC %d" % (i + 1), on_dark=False,
                 label_size=9)
        L.led(led_tag, p["LedAmber"], fx, vy + 82)
    # switch row: clock, mode, voices
    for i, (tag, title, left, right) in enumerate((
            (SkinTag.SYNCSWITCH, "CLOCK", "INT", "HOST"),
            (SkinTag.MODESWITCH, "MIDI MODE", "PATT", "KEYS"),
            (SkinTag.NOTESWITCH, "VOICES", "MONO", "POLY"))):
        cx = sx + 40 + i * 150
        cy = vy + 118
        sw = p["Switch2"]
        panel.place(tag, sw, cx - sw.width / 2, cy - sw.height / 2)
        panel.text((cx, cy - 15), title, size=9, fill=INK)
        panel.text((cx - sw.width / 2 - 4, cy), left, size=8, fill=INK, anchor="rm")
        panel.text((cx + sw.width / 2 + 4, cy), right, size=8, fill=INK, anchor="lm")

    # --- The sequencer -------------------------------------------------------------------------
    qy = 214
    section_title(panel, 24, qy, 1252, "PATTERN SEQUENCER", False)
    # displays
    L.digits(SkinTag.PATTERNDIGITS, 86, qy + 42, 3, "PATTERN", SkinTag.PATTERNROCKER)
    L.digits(SkinTag.TEMPODIGITS, 196, qy + 42, 3, "TEMPO", SkinTag.TEMPOROCKER)
    L.digits(SkinTag.STEPSDIGITS, 86, qy + 112, 2, "LENGTH", SkinTag.STEPSROCKER)
    L.digits(SkinTag.STEPDISPLAY, 184, qy + 112, 2, "STEP")
    # prescale
    sw4 = p["Switch4"]
    psx, psy = 270, qy + 96
    panel.place(SkinTag.PRESCALESWITCH, sw4, psx - sw4.width / 2, psy)
    panel.text((psx + 8, psy - 10), "SCALE", size=9, fill=INK)
    for i, label in enumerate(("\u00d71", "\u00d72", "\u00d7\u00be", "\u00d71\u00bd")):
        panel.text((psx + 11, psy + 6.5 + i * 13), label, size=8, fill=INK, anchor="lm")
    L.button(SkinTag.TRIPLETBUTTON, p["Toggle"], 276, qy + 184, "TRIPLET", on_dark=False)

    # pitch keyboard with the note lamps above its keys
    kb = p["Keyboard"]
    kx, ky = 352, qy + 96
    panel.rect((kx - 8, ky - 62, kx + kb.width + 8, ky + kb.height + 8), fill=(20, 20, 22, 255),
               radius=4)
    panel.place(SkinTag.PITCHKEYBOARD, kb, kx, ky)
    for octave in range(3):
        for k, semitone in enumerate(WHITE_SEMITONES):
            note = octave * 12 + semitone
            cx = kx + octave * OCTAVE + k * WHITE_KEY + WHITE_KEY / 2 - 0.5
            L.led(SkinTag.NOTELED1 + note, p["LedRed"], cx, ky - 13)
        for semitone, a, b in BLACK_KEYS:
            note = octave * 12 + semitone
            cx = kx + octave * OCTAVE + (a + b) / 2
            L.led(SkinTag.NOTELED1 + note, p["LedRed"], cx, ky - 31)
        panel.text((kx + octave * OCTAVE + 9.5, ky - 48), "C%d" % (octave + 1), size=8,
                   fill=(190, 190, 186), anchor="mm")

    # step keys with their lamps
    keys = [
        (SkinTag.B_RUNSTOP, SkinTag.RUNSTOPLED, "RUN/STOP", "ButtonRun"),
        (SkinTag.B_AUTOADV, SkinTag.AUTOADVLED, "PITCH", "ButtonStep"),
        (SkinTag.B_TIMEMODE, SkinTag.TIMEMODELED, "TIME", "ButtonStep"),
        (SkinTag.B_BACK, None, "BACK", "ButtonStep"),
        (SkinTag.B_NEXT, None, "NEXT", "ButtonStep"),
        (SkinTag.B_PATTERNCLEAR, None, "CLEAR", "ButtonRun"),
        (SkinTag.B_DOWN, SkinTag.DOWNLED, "DOWN", "ButtonStep"),
        (SkinTag.B_UP, SkinTag.UPLED, "UP", "ButtonStep"),
        (SkinTag.B_ACCENT, SkinTag.ACCENTLED, "ACCENT", "ButtonStep"),
        (SkinTag.B_SLIDE, SkinTag.SLIDELED, "SLIDE", "ButtonStep"),
    ]
    for i, (tag, led_tag, label, picture) in enumerate(keys):
        row, column = divmod(i, 5)
        cx = 824 + column * 100
        cy = qy + 70 + row * 82
        L.button(tag, p[picture], cx, cy, None)
        panel.text((cx, cy + 22), label, size=9, fill=INK)
        if led_tag is not None:
            L.led(led_tag, p["LedRed"], cx, cy - 24)
    panel.line([(782, qy + 30), (782, qy + 206)], fill=(120, 122, 126, 255))

    # --- The modular section -----------------------------------------------------------------
    sockets = []

    def socket(index, cx, cy, label, output):
        L.socket(SkinTag.SOCKET1 + index, cx, cy, label, output)
        sockets.append(index)

    row_a, row_b = 462, 660
    mh = 186

    def small(tag, cx, cy, label):
        L.knob(tag, p["KnobSmall"], cx, cy, label, on_dark=True, label_size=8)

    # VCO-1
    x = 24
    module_box(panel, (x, row_a, x + 200, row_a + mh), "VCO-1")
    for i, (tag, label) in enumerate(((SkinTag.VCO1WAVE, "WAVE"), (SkinTag.VCO1PW, "PW"),
                                      (SkinTag.VCO1FM, "FILTER MOD"),
                                      (SkinTag.VCO1FINE, "FINE"))):
        small(tag, x + 28 + i * 48, row_a + 54, label)
    L.button(SkinTag.VCO1RANGE, p["Button"], x + 40, row_a + 104, "RANGE")
    for i, (tag, label) in enumerate(((SkinTag.VCO1LED16, "16'"), (SkinTag.VCO1LED8, "8'"),
                                      (SkinTag.VCO1LED4, "4'"))):
        L.led(tag, p["LedRed"], x + 90 + i * 34, row_a + 104, label)
    socket(0, x + 70, row_a + 148, "CV IN", False)
    socket(36, x + 130, row_a + 148, "PW CV", False)

    # VCO-2
    x = 232
    module_box(panel, (x, row_a, x + 200, row_a + mh), "VCO-2")
    for i, (tag, label) in enumerate(((SkinTag.VCO2WAVE, "WAVE"), (SkinTag.VCO2PW, "PW"),
                                      (SkinTag.VCO2FM, "FREQ MOD"),
                                      (SkinTag.VCO2FINE, "FINE"))):
        small(tag, x + 28 + i * 48, row_a + 54, label)
    L.button(SkinTag.VCO2RANGE, p["Button"], x + 40, row_a + 104, "RANGE")
    for i, (tag, label) in enumerate(((SkinTag.VCO2LED16, "16'"), (SkinTag.VCO2LED8, "8'"),
                                      (SkinTag.VCO2LED4, "4'"))):
        L.led(tag, p["LedRed"], x + 90 + i * 34, row_a + 104, label)
    L.button(SkinTag.SYNC12, p["ButtonSmall"], x + 112, row_a + 148, "RING 1\u00d72")
    L.led(SkinTag.SYNC12LED, p["LedAmber"], x + 130, row_a + 148)
    L.button(SkinTag.SYNC21, p["ButtonSmall"], x + 164, row_a + 148, "SYNC 2\u21921")
    L.led(SkinTag.SYNC21LED, p["LedAmber"], x + 182, row_a + 148)
    socket(1, x + 26, row_a + 148, "CV IN", False)
    socket(37, x + 68, row_a + 148, "PW CV", False)

    # Mixer with the noise colour
    x = 440
    module_box(panel, (x, row_a, x + 248, row_a + mh), "MIXER")
    for i, (tag, label) in enumerate(((SkinTag.VCO1LEVEL, "VCO-1"),
                                      (SkinTag.VCO2LEVEL, "VCO-2"),
                                      (SkinTag.NOISELEVEL, "NOISE"), (SkinTag.AUXLEVEL, "AUX"),
                                      (SkinTag.NGCOLOR, "COLOR"))):
        small(tag, x + 28 + i * 48, row_a + 54, label)
    panel.text((x + 172, row_a + 86), "RED \u2014 WHITE", size=7, fill=DIM_PRINT)
    caption(panel, x + 14, x + 234, row_a + 116, "CV INPUTS")
    socket(2, x + 40, row_a + 148, "VCO BAL", False)
    socket(3, x + 96, row_a + 148, "NS/AUX", False)
    socket(5, x + 152, row_a + 148, "SHAPER", False)
    socket(38, x + 208, row_a + 148, "COLOR", False)

    # MG
    x = 696
    module_box(panel, (x, row_a, x + 240, row_a + mh), "MODULATION GENERATOR")
    for i, (tag, label) in enumerate(((SkinTag.MGWAVE, "WAVE"), (SkinTag.MGFREQ, "RATE"),
                                      (SkinTag.MGAMOUNT, "AMOUNT"))):
        small(tag, x + 28 + i * 48, row_a + 54, label)
    L.button(SkinTag.MGBPMSYNC, p["Toggle"], x + 206, row_a + 54, "BPM SYNC")
    for i, (tag, led_tag, label) in enumerate((
            (SkinTag.MGVCO1DEST, SkinTag.MGVCO1LED, "VCO-1"),
            (SkinTag.MGVCO2DEST, SkinTag.MGVCO2LED, "VCO-2"),
            (SkinTag.MGVCFDEST, SkinTag.MGVCFLED, "VCF"),
            (SkinTag.MGVCADEST, SkinTag.MGVCALED, "VCA"),
            (SkinTag.MGPW1DEST, SkinTag.MGPW1LED, "PW-1"))):
        cx = x + 32 + i * 44
        L.led(led_tag, p["LedRed"], cx, row_a + 93)
        L.button(tag, p["ButtonSmall"], cx, row_a + 110, None)
        panel.text((cx, row_a + 124), label, size=8, fill=PRINT)
    caption(panel, x + 14, x + 226, row_a + 80, "DESTINATION")
    L.button(SkinTag.MGRETRIG, p["ButtonSmall"], x + 140, row_a + 152, "RETRIG")
    L.led(SkinTag.MGRETRIGLED, p["LedAmber"], x + 158, row_a + 152)
    L.button(SkinTag.MGAUDIO, p["ButtonSmall"], x + 194, row_a + 152, "AUDIO")
    L.led(SkinTag.MGAUDIOLED, p["LedAmber"], x + 212, row_a + 152)
    socket(4, x + 26, row_a + 148, "OUT", True)
    socket(16, x + 62, row_a + 148, "RATE", False)
    socket(17, x + 98, row_a + 148, "AMT", False)

    # Row B: glide and gate, accent, the two envelopes, delay
    x = 24
    module_box(panel, (x, row_b, x + 150, row_b + mh), "GLIDE \u00b7 GATE")
    small(SkinTag.GLIDEKNOB, x + 40, row_b + 54, "GLIDE")
    small(SkinTag.GATEKNOB, x + 110, row_b + 54, "GATE")
    L.led(SkinTag.GATEACTIVELED, p["LedGreen"], x + 100, row_b + 92, "ACTIVE")
    L.button(SkinTag.TRIGGERBUTTON, p["Button"], x + 36, row_b + 114, "TRIGGER")
    L.led(SkinTag.TRIGGERSINGLE, p["LedRed"], x + 80, row_b + 110, "SINGLE")
    L.led(SkinTag.TRIGGERMULTI, p["LedRed"], x + 80, row_b + 126, "MULTI")
    caption(panel, x + 10, x + 140, row_b + 140, "SEQUENCER")
    socket(11, x + 30, row_b + 160, "GATE", True)
    socket(12, x + 75, row_b + 160, "NOTE", True)
    socket(13, x + 120, row_b + 160, "ACC", True)

    x = 182
    module_box(panel, (x, row_b, x + 130, row_b + mh), "ACCENT")
    small(SkinTag.ACCDECAY, x + 36, row_b + 54, "DECAY")
    small(SkinTag.ACCVOLUME, x + 94, row_b + 54, "VOLUME")
    L.button(SkinTag.ACCMANUAL, p["Button"], x + 36, row_b + 114, "MANUAL")
    L.led(SkinTag.ACCEXTLED, p["LedRed"], x + 84, row_b + 114, "EXT")
    socket(6, x + 65, row_b + 160, "TRIGGER", False)

    for x, title, tags, led_tag, amount, out, cv, cv_label in (
            (320, "VCA ENVELOPE", (SkinTag.VCAATTACK, SkinTag.VCADECAY, SkinTag.VCASUSTAIN,
                                   SkinTag.VCARELEASE), SkinTag.VCATRIGGERLED, 7, 18, 35,
             "VCA CV"),
            (528, "VCF ENVELOPE", (SkinTag.VCFATTACK, SkinTag.VCFDECAY, SkinTag.VCFSUSTAIN,
                                   SkinTag.VCFRELEASE), SkinTag.VCFTRIGGERLED, 8, 19, 34,
             "VCF CV")):
        module_box(panel, (x, row_b, x + 200, row_b + mh), title)
        for i, (tag, label) in enumerate(zip(tags, ("ATTACK", "DECAY", "SUSTAIN",
                                                     "RELEASE"))):
            small(tag, x + 28 + i * 48, row_b + 54, label)
        # an ADSR outline as a printed reminder
        ex, ey = x + 22, row_b + 122
        panel.line([(ex, ey + 12), (ex + 14, ey - 10), (ex + 30, ey), (ex + 56, ey),
                    (ex + 70, ey + 12)], fill=(130, 134, 140, 255), width=1.2)
        L.led(led_tag, p["LedGreen"], x + 112, ey, "TRIG")
        socket(amount, x + 40, row_b + 160, "AMOUNT", False)
        socket(out, x + 100, row_b + 160, "ENV OUT", True)
        socket(cv, x + 160, row_b + 160, cv_label, False)

    x = 736
    module_box(panel, (x, row_b, x + 200, row_b + mh), "STEREO DELAY")
    for i, (tag, label) in enumerate(((SkinTag.DELAYAMOUNT, "AMOUNT"),
                                      (SkinTag.DELAYFEEDBACK, "FEEDBACK"),
                                      (SkinTag.DELAYLEFT, "LEFT"),
                                      (SkinTag.DELAYRIGHT, "RIGHT"))):
        small(tag, x + 28 + i * 48, row_b + 54, label)
    L.button(SkinTag.DELAYBPMSYNC, p["Toggle"], x + 40, row_b + 118, "BPM SYNC")
    L.led(SkinTag.DELAYLED, p["LedRed"], x + 82, row_b + 118, "ON")
    socket(9, x + 124, row_b + 160, "TIME L", False)
    socket(10, x + 172, row_b + 160, "TIME R", False)

    # Utilities: envelope follower, attenuators, inverters and the performance sources
    x, x1 = 944, WIDTH - 24
    module_box(panel, (x, row_a, x1, row_a + mh), "FOLLOWER \u00b7 MIDI \u00b7 INVERTERS")
    small(SkinTag.VCKNOB1, x + 34, row_a + 54, "ATTACK")
    small(SkinTag.VCKNOB2, x + 86, row_a + 54, "RELEASE")
    socket(20, x + 140, row_a + 54, "ENV FOL", True)
    caption(panel, x + 10, x + 166, row_a + 112, "MIDI")
    for i, (index, label) in enumerate(((14, "NOTE"), (15, "VELO"), (39, "WHEEL"),
                                        (41, "PRESS"))):
        socket(index, x + 26 + i * 38, row_a + 148, label, True)
    for i, (inp, out) in enumerate(((25, 26), (27, 28))):
        cy = row_a + 56 + i * 74
        panel.text((x + 250, cy - 22), "INVERTER %d" % (i + 1), size=8, fill=DIM_PRINT)
        socket(inp, x + 220, cy, "IN", False)
        socket(out, x + 284, cy, "OUT", True)
        panel.line([(x + 234, cy), (x + 264, cy)], fill=(130, 134, 140, 255), width=1)
        panel.polygon([(x + 264, cy - 3), (x + 264, cy + 3), (x + 270, cy)],
                      fill=(130, 134, 140, 255))
    panel.line([(x + 180, row_a + 28), (x + 180, row_a + mh - 10)], fill=(80, 83, 90, 255))

    module_box(panel, (x, row_b, x1, row_b + mh), "ATTENUATORS")
    for i, (inp, eighth, half, variable, extra, extra_label, level_tag, second_tag,
            second_label) in enumerate((
            (21, 22, 23, 24, 40, "UNIPOL", SkinTag.VCKNOB3, SkinTag.VCKNOB4, "BIAS"),
            (29, 30, 31, 32, 33, "LAG", SkinTag.VCKNOB5, SkinTag.VCKNOB6, "LAG"))):
        cy = row_b + 48 + i * 84
        panel.text((x + 12, cy - 22), str(i + 1), size=11, fill=ORANGE, anchor="lm")
        small(level_tag, x + 34, cy + 4, "LEVEL")
        small(second_tag, x + 78, cy + 4, second_label)
        for j, (index, label, is_output) in enumerate(((inp, "IN", False), (eighth, "1/8", True),
                                                    (half, "1/2", True),
                                                    (variable, "VAR", True),
                                                    (extra, extra_label, True))):
            socket(index, x + 120 + j * 38, cy, label, is_output)

    assert sorted(sockets) == list(range(42)), sorted(sockets)

    # Cable pictures and the floating read-out
    panel.place(SkinTag.SHADOWBITMAP, p["Shadow"], 0, 0, "cable shadow (picture only)")
    panel.place(SkinTag.CORDPLUG, p["CordPlug"], 0, 0, "loose cable end (picture only)")
    panel.place(SkinTag.DISPBACKGROUND, p["Display"], 0, 0, "floating value read-out")

    background = panel.render()
    write(output, panel, background)


class _Tags:
    """Tag names as attributes: SkinTag.CUTOFFKNOB is the text the definition writes."""

    def __getattr__(self, name):
        return TagName(name, 0)


class TagName:
    """A tag name with an index for the numbered families (NOTELED1 + 3 -> NOTELED4)."""

    def __init__(self, name, add):
        self.name = name
        self.add = add

    def __add__(self, other):
        return TagName(self.name, self.add + other)

    def __str__(self):
        if self.add == 0:
            return self.name
        stem = self.name.rstrip("0123456789")
        return stem + str(int(self.name[len(stem):]) + self.add)


SkinTag = _Tags()


def write(output, panel, background):
    folder = os.path.join(output, SKIN_FOLDER)
    os.makedirs(folder, exist_ok=True)
    background_name = "Background.png"
    background.convert("RGB").save(os.path.join(folder, background_name), optimize=False)
    for picture in panel.pictures.values():
        picture.image.save(os.path.join(folder, picture.name), optimize=False)

    lines = [
        "; Tresk Pro: the default skin.",
        "; Elements: TAG \"picture\", x, y, width, height. Pictures with several frames stack",
        "; them top to bottom, each as high as the element.",
        "",
        "NAME \"Tresk Pro\"",
        "CABLETYPE 0",
        "CABLETINT 0, 0, 0",
        "",
        "; the window is (width - 2) x (height - 1) of the background's rectangle",
        "BACKGROUND \"%s\\%s\", 0, 0, %d, %d" % (SKIN_FOLDER, background_name, WIDTH + 2,
                                                HEIGHT + 1),
    ]
    for comment, tag, file, x, y, w, h in panel.elements:
        if comment:
            lines.append("; " + comment)
        lines.append("%s \"%s\", %d, %d, %d, %d" % (tag, file, x, y, w, h))
    with open(os.path.join(output, "TreskPro.skn"), "w", newline="") as skn:
        skn.write("\r\n".join(lines) + "\r\n")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.stderr.write("usage: make_skin.py OUTPUT_FOLDER\n")
        sys.exit(2)
    build(sys.argv[1])
