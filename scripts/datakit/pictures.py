# Pictures and the manual page of the sample folders: the ten module pictures, the group
# pictures (BMP and JPEG) and a one-page PDF, all drawn here so the kit needs no artwork.

import os
import shutil
import struct
import subprocess

WRITE_JPEG = True

# A 5x7 font for the few labels the pictures carry.
FONT = {
    "A": "01110100011000111111100011000110001", "B": "11110100011000111110100011000111110",
    "C": "01110100011000010000100001000101110", "D": "11110100011000110001100011000111110",
    "E": "11111100001000011110100001000011111", "F": "11111100001000011110100001000010000",
    "G": "01110100011000010111100011000101111", "H": "10001100011000111111100011000110001",
    "I": "01110001000010000100001000010001110", "K": "10001100101010011000101001001010001",
    "L": "10000100001000010000100001000011111", "M": "10001110111010110101100011000110001",
    "N": "10001110011010110011100011000110001", "O": "01110100011000110001100011000101110",
    "P": "11110100011000111110100001000010000", "R": "11110100011000111110101001001010001",
    "S": "01111100001000001110000010000111110", "T": "11111001000010000100001000010000100",
    "U": "10001100011000110001100011000101110", "V": "10001100011000110001100010101000100",
    "W": "10001100011000110101101011010101010", "X": "10001100010101000100010101000110001",
    "Y": "10001100010101000100001000010000100", "Z": "11111000010001000100010001000011111",
    "0": "01110100011001110101110011000101110", "1": "00100011000010000100001000010001110",
    "2": "01110100010000100010001000100011111", "3": "11110000010000101110000010000111110",
    "4": "00010001100101010010111110001000010", "5": "11111100001111000001000011000101110",
    "6": "00110010001000011110100011000101110", "7": "11111000010001000100010000100001000",
    "8": "01110100011000101110100011000101110", "9": "01110100011000101111000010001001100",
    "-": "00000000000000011111000000000000000", " ": "0" * 35, "/": "00001000010001000100010001000010000",
}


class Canvas:
    def __init__(self, w, h, bg=(255, 255, 255)):
        self.w, self.h = w, h
        self.px = [[bg] * w for _ in range(h)]

    def rect(self, x0, y0, x1, y1, color):
        for y in range(max(0, y0), min(self.h, y1)):
            row = self.px[y]
            for x in range(max(0, x0), min(self.w, x1)):
                row[x] = color

    def frame(self, x0, y0, x1, y1, color):
        self.rect(x0, y0, x1, y0 + 1, color)
        self.rect(x0, y1 - 1, x1, y1, color)
        self.rect(x0, y0, x0 + 1, y1, color)
        self.rect(x1 - 1, y0, x1, y1, color)

    def text(self, x, y, s, color, scale=2):
        for ch in s.upper():
            glyph = FONT.get(ch, FONT[" "])
            for i, bit in enumerate(glyph):
                if bit == "1":
                    gx, gy = i % 5, i // 5
                    self.rect(x + gx * scale, y + gy * scale, x + (gx + 1) * scale, y + (gy + 1) * scale, color)
            x += 6 * scale

    def bmp(self):
        """24-bit bottom-up BMP: 14-byte file header, 40-byte information header, pixels."""
        stride = (self.w * 3 + 3) & ~3
        pixels = bytearray()
        for y in range(self.h - 1, -1, -1):
            row = bytearray()
            for r, g, b in self.px[y]:
                row += bytes((b, g, r))
            row += b"\0" * (stride - len(row))
            pixels += row
        header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.w, self.h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
        return header + info + bytes(pixels)


def module_picture(label, body, letter):
    """A module seen from the front: body, display, LEDs, terminal rows, kind letter."""
    c = Canvas(96, 128, (236, 236, 236))
    c.rect(8, 4, 88, 124, body)
    c.frame(8, 4, 88, 124, (60, 60, 60))
    c.rect(16, 14, 80, 38, (20, 40, 20))
    c.text(22, 19, letter, (80, 255, 80), 2)
    for i in range(4):
        c.rect(18 + i * 16, 46, 26 + i * 16, 52, (255, 170, 0) if i % 2 == 0 else (60, 200, 60))
    for row in range(2):
        for i in range(6):
            c.rect(14 + i * 12, 84 + row * 16, 22 + i * 12, 92 + row * 16, (180, 150, 60))
            c.frame(14 + i * 12, 84 + row * 16, 22 + i * 12, 92 + row * 16, (90, 70, 30))
    c.text(14, 62, label[:6], (255, 255, 255), 2)
    return c


MODULES = [
    ("BMP-InfCONT4.bmp", "CONT4", (40, 80, 150), "A"),
    ("BMP-InfEVNT.bmp", "EVENT", (40, 130, 60), "E"),
    ("BMP-InfCONT2.bmp", "CONT2", (60, 100, 170), "B"),
    ("BMP-InfANALG.bmp", "ANALOG", (140, 80, 40), "V"),
    ("BMP-InfCCLNK.bmp", "LINK", (100, 60, 140), "C"),
    ("BMP-InfENZN.bmp", "ENZN", (90, 90, 90), "P"),
    ("BMP-InfANA_N.bmp", "AIN", (160, 100, 50), "N"),
    ("BMP-InfANA_T.bmp", "AOUT", (170, 110, 70), "T"),
    ("BMP-InfERRkk.bmp", "ERROR", (190, 30, 30), "-"),
    ("BMP-InfPROFI.bmp", "FBUS", (70, 70, 150), "F"),
]


def input_picture():
    """The input section: a sensor, the range bar with lower and upper limits."""
    c = Canvas(320, 160)
    c.text(10, 8, "INPUT", (0, 0, 0), 2)
    c.rect(20, 40, 60, 120, (200, 120, 60))
    c.frame(20, 40, 60, 120, (0, 0, 0))
    c.text(22, 124, "TC", (0, 0, 0), 2)
    c.rect(60, 78, 110, 82, (0, 0, 0))
    c.rect(110, 60, 300, 100, (220, 235, 255))
    c.frame(110, 60, 300, 100, (0, 0, 128))
    c.text(112, 106, "RNGL", (0, 0, 128), 2)
    c.text(250, 106, "RNGH", (0, 0, 128), 2)
    c.rect(180, 60, 184, 100, (200, 0, 0))
    c.text(170, 40, "PV", (200, 0, 0), 2)
    return c


def pid_picture():
    """A control loop: SV into the controller, output to the process, PV fed back."""
    c = Canvas(320, 160)
    c.text(10, 8, "PID LOOP", (0, 0, 0), 2)
    c.text(10, 70, "SV", (0, 0, 160), 2)
    c.rect(40, 76, 80, 80, (0, 0, 0))
    c.frame(80, 56, 150, 100, (0, 0, 0))
    c.text(92, 72, "PID", (0, 0, 0), 2)
    c.rect(150, 76, 190, 80, (0, 0, 0))
    c.frame(190, 56, 280, 100, (0, 0, 0))
    c.text(196, 72, "HEATER", (160, 0, 0), 2)
    c.rect(280, 76, 300, 80, (0, 0, 0))
    c.rect(296, 80, 300, 130, (0, 0, 0))
    c.rect(60, 126, 300, 130, (0, 0, 0))
    c.rect(60, 80, 64, 130, (0, 0, 0))
    c.text(150, 136, "PV", (0, 120, 0), 2)
    return c


def manual_pdf(title, lines):
    """A one-page PDF with a title and a few lines of text in Helvetica."""
    def esc(s):
        return s.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)")
    content = ["BT", "/F1 18 Tf", "72 770 Td", f"({esc(title)}) Tj", "/F1 11 Tf"]
    for line in lines:
        content += ["0 -18 Td", f"({esc(line)}) Tj"]
    content.append("ET")
    stream = "\n".join(content).encode("latin-1")
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R "
        b"/Resources << /Font << /F1 5 0 R >> >> >>",
        b"<< /Length %d >>\nstream\n" % len(stream) + stream + b"\nendstream",
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    ]
    out = bytearray(b"%PDF-1.4\n")
    offsets = []
    for i, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % i + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for off in offsets:
        out += b"%010d 00000 n \n" % off
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    return bytes(out)


ALARM_MANUAL = [
    "Each loop has five alarms. An alarm watches what its type says:",
    "absolute values, deviations from the set value, bands, the output,",
    "heater and loop breaks, or program events. Type 47 switches it off.",
    "",
    "Alarm value: the limit, in the unit of the input, or in percent of",
    "the span for the percentage types (35 to 40).",
    "Hysteresis: how far the value must come back before the alarm clears.",
    "Delay: how long the condition must last before the alarm is set.",
    "Output assignment: the outputs (bit 0 = output 1) that follow the alarm.",
    "Latch: the alarm stays on until 'Alarm latch reset' is started.",
    "",
    "An alarm whose type is off is not written by a download, so that the",
    "module keeps its own values for it.",
]


def write_all(folder, lang):
    bmp = os.path.join(folder, "BMP")
    for name, label, body, letter in MODULES:
        with open(os.path.join(bmp, name), "wb") as f:
            f.write(module_picture(label, body, letter).bmp())
    with open(os.path.join(bmp, "GRP-INPUT.bmp"), "wb") as f:
        f.write(input_picture().bmp())
    pid_bmp = os.path.join(bmp, "GRP-PID.bmp.tmp")
    with open(pid_bmp, "wb") as f:
        f.write(pid_picture().bmp())
    if not WRITE_JPEG:
        os.remove(pid_bmp)
        pid_bmp = None
    # ImageMagick itself, not a stand-in of the same name earlier on PATH.
    convert = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else shutil.which("convert")
    if pid_bmp is None:
        pass
    elif convert:
        subprocess.run([convert, "bmp:" + pid_bmp, "-quality", "90", os.path.join(bmp, "GRP-PID.jpg")], check=True)
    else:
        raise SystemExit("ImageMagick's convert is needed to write GRP-PID.jpg (apt-get install imagemagick)")
    if pid_bmp:
        os.remove(pid_bmp)
    with open(os.path.join(bmp, "Manual-Alarm.pdf"), "wb") as f:
        f.write(manual_pdf("Alarms 1 to 5", ALARM_MANUAL))
