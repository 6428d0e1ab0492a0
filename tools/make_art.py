#!/usr/bin/python3
"""Draws every icon and bitmap of the tray program into res/art/.

The pictures are made from code so that they can be changed and made again:
    /usr/bin/python3 tools/make_art.py
It needs Debian's python3-pil and fonts-dejavu-core. The generated files are
committed, so a build never runs this.

Small images are drawn eight times larger and scaled down. Image strips are
32-bit bitmaps with straight alpha, so their soft edges suit any background,
dark and high-contrast ones too. Strips, the splash and the pages' banners are
drawn again for 125 %, 150 % and 200 % scaling rather than stretched.
"""
import math
import os
import struct
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res", "art")
FONTS = "/usr/share/fonts/truetype/dejavu/"
SS = 8  # supersampling factor
CLEAR = (0, 0, 0, 0)

GREEN = (46, 160, 67)
GREEN_DARK = (24, 110, 44)
RED = (210, 45, 40)
RED_DARK = (150, 20, 20)
GRAY = (140, 146, 150)
GRAY_DARK = (90, 96, 100)
BLUE = (40, 110, 200)
BLUE_DARK = (20, 70, 150)
YELLOW = (250, 200, 40)
INK = (40, 44, 52)
WHITE = (255, 255, 255)


def font(name, size):
    return ImageFont.truetype(FONTS + name, size)


class Pen:
    """Draws in a 16-unit square whatever the pixel size, so one drawing
    serves every size."""

    def __init__(self, size):
        self.px = size * SS
        self.k = self.px / 16.0
        self.im = Image.new("RGBA", (self.px, self.px), CLEAR)
        self.d = ImageDraw.Draw(self.im)

    def p(self, pts):
        return [(x * self.k, y * self.k) for x, y in pts]

    def w(self, width):
        return max(1, int(round(width * self.k)))

    def poly(self, pts, fill, outline=None, width=1.0):
        self.d.polygon(self.p(pts), fill=fill)
        if outline:
            self.line(list(pts) + [pts[0]], outline, width)

    def rect(self, x0, y0, x1, y1, fill, outline=None, width=1.0, r=0.0):
        box = self.p([(x0, y0), (x1, y1)])
        if r:
            self.d.rounded_rectangle(box, radius=r * self.k, fill=fill, outline=outline,
                                     width=self.w(width) if outline else 0)
        else:
            self.d.rectangle(box, fill=fill, outline=outline, width=self.w(width) if outline else 0)

    def ellipse(self, x0, y0, x1, y1, fill, outline=None, width=1.0):
        self.d.ellipse(self.p([(x0, y0), (x1, y1)]), fill=fill, outline=outline,
                       width=self.w(width) if outline else 0)

    def line(self, pts, color, width=1.0):
        self.d.line(self.p(pts), fill=color, width=self.w(width), joint="curve")
        r = self.w(width) / 2.0
        for x, y in self.p([pts[0], pts[-1]]):
            self.d.ellipse([x - r, y - r, x + r, y + r], fill=color)

    def text(self, x, y, s, color, size, name="DejaVuSans-Bold.ttf"):
        f = font(name, int(size * self.k))
        self.d.text((x * self.k, y * self.k), s, fill=color, font=f, anchor="mm")

    def result(self, size):
        return self.im.resize((size, size), Image.LANCZOS)


# --- the pictures, each on a 16 x 16 grid --------------------------------

PULSE = [(2.2, 8.6), (5.0, 8.6), (6.4, 5.0), (8.4, 12.0), (10.2, 6.4), (11.2, 8.6), (13.8, 8.6)]


def tray(pen, body, dark, pulse=True):
    pen.ellipse(0.6, 0.6, 15.4, 15.4, body, dark, 1.0)
    if pulse:
        pen.line(PULSE, WHITE, 1.5)
    else:
        pen.line([(3.5, 8), (12.5, 8)], WHITE, 1.8)


def icon_normal(pen):
    tray(pen, GREEN, GREEN_DARK)


# Alert, stopped and paused carry a badge that breaks the circle's outline at the
# lower right, so the state shows in the shape as well as in the colour.
BADGE_WARNING = [(11.8, 6.6), (16, 15.6), (7.6, 15.6)]


def icon_alert(pen):
    tray(pen, RED, RED_DARK)
    pen.poly([(11.8, 4.4), (17.6, 16.6), (6.0, 16.6)], CLEAR)
    pen.poly(BADGE_WARNING, YELLOW, INK, 0.9)
    pen.rect(11.2, 9.6, 12.4, 13.0, INK)
    pen.rect(11.2, 13.8, 12.4, 14.9, INK)


def icon_stopped(pen):
    tray(pen, GRAY, GRAY_DARK, pulse=False)
    pen.rect(7.6, 7.6, 17, 17, CLEAR)
    pen.rect(9.2, 9.2, 15.6, 15.6, INK, WHITE, 1.0)


def icon_paused(pen):
    tray(pen, BLUE, BLUE_DARK)
    pen.ellipse(6.4, 6.4, 18.2, 18.2, CLEAR)
    pen.ellipse(7.6, 7.6, 16.4, 16.4, INK, WHITE, 0.9)
    pen.rect(9.9, 9.7, 11.4, 14.3, WHITE)
    pen.rect(12.6, 9.7, 14.1, 14.3, WHITE)


def gear(pen, cx, cy, r_out, r_in, teeth, color, hole):
    """A toothed wheel with a see-through hole."""
    pts = []
    for i in range(teeth * 4):
        a = 2 * math.pi * i / (teeth * 4)
        r = r_out if (i % 4) in (0, 1) else r_in
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    pen.poly(pts, color)
    pen.ellipse(cx - hole, cy - hole, cx + hole, cy + hole, CLEAR)


def btn_advanced(pen):
    gear(pen, 8, 8, 7.2, 5.2, 8, GRAY_DARK, 2.2)


def btn_start(pen):
    pen.poly([(4, 2), (13.5, 8), (4, 14)], GREEN, GREEN_DARK, 1.0)


def btn_stop(pen):
    pen.rect(3, 3, 13, 13, RED, RED_DARK, 1.0, r=1.0)


def btn_test(pen):
    pen.poly([(9.5, 0.8), (3.2, 9.0), (7.6, 9.0), (6.2, 15.2), (12.8, 6.6), (8.4, 6.6)],
             YELLOW, (150, 105, 0), 0.9)


def document(pen, color=WHITE):
    pen.poly([(2.5, 1), (10, 1), (13.5, 4.5), (13.5, 15), (2.5, 15)], color, GRAY_DARK, 0.9)
    for y in (6, 8.5, 11):
        pen.line([(4.8, y), (11.2, y)], GRAY, 0.9)


def btn_clear_log(pen):
    document(pen)
    pen.line([(6.5, 8.5), (14.5, 15.5)], RED, 2.0)
    pen.line([(14.5, 8.5), (6.5, 15.5)], RED, 2.0)


def btn_browse(pen):
    pen.poly([(1, 3), (6, 3), (7.5, 4.5), (14, 4.5), (14, 13.5), (1, 13.5)], (230, 170, 40),
             (150, 100, 10), 0.9)
    pen.poly([(2.5, 7), (15.5, 7), (14, 13.5), (1, 13.5)], YELLOW, (150, 100, 10), 0.9)


def check_box(pen, checked):
    pen.rect(1.5, 1.5, 14.5, 14.5, WHITE, (80, 90, 100), 1.0)
    if checked:
        pen.line([(4.2, 8.2), (7, 11.2), (12, 4.8)], INK, 1.9)


def par_cpu(pen):
    for i in (4.5, 8, 11.5):
        pen.line([(i, 0.8), (i, 15.2)], GRAY_DARK, 1.0)
        pen.line([(0.8, i), (15.2, i)], GRAY_DARK, 1.0)
    pen.rect(3, 3, 13, 13, (70, 80, 95), INK, 0.8, r=1)
    pen.rect(5.5, 5.5, 10.5, 10.5, (120, 170, 230))


def par_memory(pen):
    pen.rect(0.8, 4.5, 15.2, 11.5, GREEN, GREEN_DARK, 0.8)
    for x in (2.3, 6.0, 9.7):
        pen.rect(x, 6, x + 2.8, 9, (20, 30, 30))
    for x in range(2, 15, 2):
        pen.line([(x, 11.8), (x, 13.6)], (190, 150, 30), 1.0)


def par_page_file(pen):
    pen.rect(4.5, 1, 15, 10.5, (235, 240, 245), GRAY_DARK, 0.8)
    pen.rect(1, 5.5, 11.5, 15, (200, 220, 245), BLUE_DARK, 0.8)
    pen.line([(3, 9), (9.5, 9)], BLUE_DARK, 0.9)
    pen.line([(3, 11.8), (9.5, 11.8)], BLUE_DARK, 0.9)


def par_network(pen):
    pen.poly([(4.5, 1), (8.5, 6), (6, 6), (6, 15), (3, 15), (3, 6), (0.5, 6)], GREEN, GREEN_DARK, 0.7)
    pen.poly([(11.5, 15), (15.5, 10), (13, 10), (13, 1), (10, 1), (10, 10), (7.5, 10)], BLUE, BLUE_DARK, 0.7)


def par_disk(pen):
    pen.rect(1, 3, 15, 13, (190, 196, 204), GRAY_DARK, 0.8, r=1.5)
    pen.line([(2.5, 9), (13.5, 9)], GRAY_DARK, 0.8)
    pen.ellipse(10.5, 10.2, 12.5, 12.2, GREEN)


def par_threads(pen):
    for i, c in enumerate((BLUE, GREEN, (230, 140, 30))):
        y = 3.5 + i * 4.5
        pts = [(1 + t * 0.5, y + 1.3 * math.sin(t * 0.9 + i)) for t in range(0, 29)]
        pen.line(pts, c, 1.5)


def par_process(pen):
    pen.rect(0.8, 1.8, 15.2, 14.2, WHITE, BLUE_DARK, 0.9)
    pen.rect(0.8, 1.8, 15.2, 4.8, BLUE)
    pen.poly([(6, 7), (11, 10), (6, 13)], GREEN)


def par_web(pen):
    pen.ellipse(1, 1, 15, 15, (120, 180, 240), BLUE_DARK, 0.9)
    pen.ellipse(5, 1, 11, 15, None, BLUE_DARK, 0.8)
    pen.line([(1.5, 8), (14.5, 8)], BLUE_DARK, 0.8)
    pen.line([(2.8, 4.5), (13.2, 4.5)], BLUE_DARK, 0.7)
    pen.line([(2.8, 11.5), (13.2, 11.5)], BLUE_DARK, 0.7)


def chan_ui(pen):
    pen.rect(1, 1.5, 15, 11, (255, 250, 215), INK, 0.9, r=2)
    pen.poly([(4, 10.5), (8, 10.5), (3.5, 15)], (255, 250, 215))
    pen.line([(4, 11), (3.5, 14.8), (7.5, 11)], INK, 0.9)
    pen.text(8, 6.2, "!", RED, 9)


def chan_mail(pen):
    pen.rect(0.8, 3, 15.2, 13, WHITE, GRAY_DARK, 0.9)
    pen.line([(1.2, 3.5), (8, 9), (14.8, 3.5)], GRAY_DARK, 0.9)


def chan_run(pen):
    pen.rect(0.8, 1.8, 15.2, 14.2, INK, INK, 0.9, r=1)
    pen.line([(3.2, 5.5), (6.2, 8), (3.2, 10.5)], WHITE, 1.2)
    pen.line([(7.5, 11), (12, 11)], WHITE, 1.2)


def chan_webhook(pen):
    pen.ellipse(0.8, 4.2, 12.0, 15.4, (120, 180, 240), BLUE_DARK, 0.9)
    pen.ellipse(4.0, 4.2, 8.8, 15.4, None, BLUE_DARK, 0.8)
    pen.line([(1.3, 9.8), (11.5, 9.8)], BLUE_DARK, 0.8)
    # The message leaving for the service, outlined so it reads over the globe.
    pen.line([(7.2, 9.0), (12.6, 3.6)], WHITE, 3.4)
    pen.poly([(15.6, 0.4), (15.6, 7.4), (8.6, 0.4)], WHITE)
    pen.line([(7.2, 9.0), (12.6, 3.6)], GREEN_DARK, 1.8)
    pen.poly([(15.0, 1.0), (15.0, 6.0), (10.0, 1.0)], GREEN_DARK)


def level_info(pen):
    pen.ellipse(0.8, 0.8, 15.2, 15.2, BLUE, BLUE_DARK, 0.8)
    pen.ellipse(7, 3, 9, 5, WHITE)
    pen.rect(7.05, 6.5, 8.95, 12.8, WHITE)


def level_warning(pen):
    pen.poly([(8, 0.8), (15.4, 14.6), (0.6, 14.6)], YELLOW, INK, 0.9)
    pen.rect(7.1, 5, 8.9, 10.5, INK)
    pen.ellipse(7.05, 11.5, 8.95, 13.4, INK)


def level_error(pen):
    pen.ellipse(0.8, 0.8, 15.2, 15.2, RED, RED_DARK, 0.8)
    pen.line([(5.2, 5.2), (10.8, 10.8)], WHITE, 1.8)
    pen.line([(10.8, 5.2), (5.2, 10.8)], WHITE, 1.8)


# --- files ----------------------------------------------------------------

def render(draw, size):
    pen = Pen(size)
    draw(pen)
    return pen.result(size)


def write_ico(path, draw, sizes=(16, 20, 24, 32, 40, 48, 64)):
    """32-bit images with alpha and the 1-bit mask every reader expects."""
    entries, blobs = [], []
    for s in sizes:
        im = render(draw, s)
        px = im.load()
        xor = bytearray()
        for y in range(s - 1, -1, -1):
            for x in range(s):
                r, g, b, a = px[x, y]
                xor += bytes((b, g, r, a))
        row = ((s + 31) // 32) * 4
        mask = bytearray()
        for y in range(s - 1, -1, -1):
            bits = bytearray(row)
            for x in range(s):
                if px[x, y][3] < 128:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        header = struct.pack("<IiiHHIIiiII", 40, s, s * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        blobs.append(header + bytes(xor) + bytes(mask))
        entries.append(s)
    offset = 6 + 16 * len(entries)
    out = struct.pack("<HHH", 0, 1, len(entries))
    for s, blob in zip(entries, blobs):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    out += b"".join(blobs)
    with open(path, "wb") as f:
        f.write(out)


# Pixel sizes of the strip images and the scales the splash is drawn for:
# 100, 125, 150 and 200 %, the program picking by the window's DPI.
STRIP_SIZES = (16, 20, 24, 32)
SCALES = ((1.0, ""), (1.25, "_125"), (1.5, "_150"), (2.0, "_200"))


def write_strip(path, draws, size):
    """Straight (not premultiplied) alpha, fully clear pixels black."""
    strip = Image.new("RGBA", (size * len(draws), size), CLEAR)
    for i, draw in enumerate(draws):
        im = render(draw, size)
        im.putdata([p if p[3] else CLEAR for p in im.getdata()])
        strip.paste(im, (i * size, 0))
    strip.save(path, "BMP")


def write_strips(name, draws):
    for size in STRIP_SIZES:
        suffix = "" if size == 16 else "_%d" % size
        write_strip(os.path.join(OUT, name + suffix + ".bmp"), draws, size)


def gradient(w, h, top, bottom):
    im = Image.new("RGB", (w, h))
    px = im.load()
    for y in range(h):
        t = y / max(1, h - 1)
        c = tuple(int(a + (b - a) * t) for a, b in zip(top, bottom))
        for x in range(w):
            px[x, y] = c
    return im


def trace(im, base, amp, color, width, seed, scale=1.0):
    """A calm history curve across the picture, like the Resources graph,
    drawn large and scaled down so that it stays smooth."""
    w, h = im.size
    layer = Image.new("RGBA", (w * 4, h * 4), CLEAR)
    pts = [(x * 4, (base + amp * (math.sin(x / (23.0 * scale) + seed) * 0.6 +
                                  math.sin(x / (9.0 * scale) + seed * 2) * 0.4)) * 4)
           for x in range(0, w + 1, 2)]
    ImageDraw.Draw(layer).line(pts, fill=color, width=width * 4, joint="curve")
    im.paste(layer.resize((w, h), Image.LANCZOS), (0, 0), layer.resize((w, h), Image.LANCZOS))


def logo(size):
    return render(icon_normal, size)


def splash(scale):
    def k(v):
        return int(round(v * scale))

    w, h = k(300), k(150)
    im = gradient(w, h, (18, 60, 44), (8, 28, 22))
    d = ImageDraw.Draw(im, "RGBA")
    for y in range(20, 150, 20):
        d.line([(0, k(y)), (w, k(y))], fill=(255, 255, 255, 18), width=k(1))
    trace(im, k(118), k(10), (80, 200, 120, 150), k(2), 1.0, scale)
    im.paste(logo(k(64)), (k(24), k(30)), logo(k(64)))
    d.text((k(102), k(38)), "Varnalis", fill=WHITE, font=font("DejaVuSans-Bold.ttf", k(34)))
    d.text((k(104), k(80)), "1.4", fill=(150, 230, 170), font=font("DejaVuSans.ttf", k(16)))
    d.text((k(136), k(80)), "system health monitor", fill=(210, 230, 220), font=font("DejaVuSans.ttf", k(13)))
    d.text((w - k(12), h - k(10)), "Pellard Software", fill=(190, 210, 200),
           font=font("DejaVuSans.ttf", k(11)), anchor="rs")
    d.rectangle([0, 0, w - 1, h - 1], outline=(60, 120, 90), width=k(1))
    return im


def banner(symbol_draw, caption, w=170, h=280, scale=1.0):
    def k(v):
        return int(round(v * scale))

    w, h = k(w), k(h)
    im = gradient(w, h, (22, 72, 52), (10, 30, 24))
    d = ImageDraw.Draw(im, "RGBA")
    for x in range(k(17), w, k(17)):
        d.line([(x, 0), (x, h)], fill=(255, 255, 255, 14), width=k(1))
    for y in range(k(20), h, k(20)):
        d.line([(0, y), (w, y)], fill=(255, 255, 255, 14), width=k(1))
    trace(im, h - k(65), k(14), (90, 210, 130, 170), k(2), 0.3, scale)
    trace(im, h - k(40), k(9), (240, 190, 70, 140), k(2), 2.1, scale)
    sym = render(symbol_draw, k(72))
    im.paste(sym, ((w - k(72)) // 2, k(40)), sym)
    d.text((w // 2, k(140)), "Varnalis", fill=WHITE, font=font("DejaVuSans-Bold.ttf", k(24)), anchor="mm")
    d.text((w // 2, k(166)), caption, fill=(190, 225, 205), font=font("DejaVuSans.ttf", k(12)), anchor="mm")
    return im


def options_symbol(pen):
    pen.ellipse(0.6, 0.6, 15.4, 15.4, GREEN, GREEN_DARK, 1.0)
    gear(pen, 8, 8, 5.6, 4.0, 8, WHITE, 1.8)


def main():
    os.makedirs(OUT, exist_ok=True)
    write_ico(os.path.join(OUT, "normal.ico"), icon_normal)
    write_ico(os.path.join(OUT, "alert.ico"), icon_alert)
    write_ico(os.path.join(OUT, "stopped.ico"), icon_stopped)
    write_ico(os.path.join(OUT, "paused.ico"), icon_paused)
    write_strips("check_boxes", [lambda p: check_box(p, False), lambda p: check_box(p, True)])
    write_strips("parameters",
                 [par_cpu, par_memory, par_page_file, par_network, par_disk, par_threads, par_process, par_web])
    write_strips("buttons", [btn_advanced, btn_start, btn_stop, btn_test, btn_clear_log, btn_browse])
    write_strips("channels", [chan_ui, chan_mail, chan_run, chan_webhook])
    write_strips("log_levels", [level_info, level_warning, level_error])
    for scale, suffix in SCALES:
        splash(scale).save(os.path.join(OUT, "splash%s.bmp" % suffix), "BMP")
    for scale, suffix in SCALES:
        banner(icon_normal, "system health monitor", scale=scale).save(
            os.path.join(OUT, "about%s.bmp" % suffix), "BMP")
        banner(options_symbol, "options", scale=scale).save(os.path.join(OUT, "options%s.bmp" % suffix), "BMP")
    # The setup's welcome and finish pages.
    banner(icon_normal, "system health monitor", 164, 314).save(os.path.join(OUT, "setup.bmp"), "BMP")
    return 0


if __name__ == "__main__":
    sys.exit(main())
