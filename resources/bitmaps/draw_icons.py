# Draws the tool-button icons of the certificate pages (32x32, drawn at 4x and scaled down for smooth edges):
# python3 resources/bitmaps/draw_icons.py resources
import sys
from PIL import Image, ImageDraw

S = 4
def canvas():
    im = Image.new('RGBA', (32 * S, 32 * S), (0, 0, 0, 0))
    return im, ImageDraw.Draw(im)
def box(*v): return [x * S for x in v]
def save(im, path): im.resize((32, 32), Image.LANCZOS).save(path)

out = sys.argv[1]

# View: a magnifying glass.
im, d = canvas()
d.line(box(19, 19, 28, 28), fill=(90, 60, 30, 255), width=5 * S)
d.ellipse(box(3, 3, 22, 22), fill=(200, 228, 250, 255), outline=(30, 80, 160, 255), width=3 * S)
d.arc(box(7, 7, 17, 17), 190, 260, fill=(255, 255, 255, 255), width=2 * S)
save(im, out + '/icon-view.png')

# Contacts: an address card with a person.
im, d = canvas()
d.rounded_rectangle(box(2, 6, 30, 27), radius=3 * S, fill=(250, 246, 230, 255), outline=(120, 90, 40, 255), width=2 * S)
d.ellipse(box(6, 9, 13, 16), fill=(60, 110, 190, 255))
d.pieslice(box(4, 15, 15, 28), 180, 360, fill=(60, 110, 190, 255))
for y in (11, 16, 21):
    d.line(box(17, y, 27, y), fill=(120, 90, 40, 255), width=2 * S)
save(im, out + '/icon-contacts.png')

# A certificate file (PFX, export, revocation list file): a page with a folded corner and a seal.
im, d = canvas()
d.polygon(box(6, 2, 21, 2, 27, 8, 27, 30, 6, 30), fill=(255, 255, 255, 255), outline=(60, 60, 60, 255))
d.line(box(6, 2, 21, 2, 27, 8, 27, 30, 6, 30, 6, 2), fill=(60, 60, 60, 255), width=2 * S)
d.polygon(box(21, 2, 21, 8, 27, 8), fill=(200, 200, 200, 255), outline=(60, 60, 60, 255))
for y in (9, 13):
    d.line(box(9, y, 19, y), fill=(110, 110, 110, 255), width=S + S // 2)
d.polygon(box(13, 22, 11, 29, 14, 27, 17, 29, 15, 22), fill=(190, 40, 40, 255))
d.ellipse(box(10, 15, 20, 25), fill=(230, 170, 30, 255), outline=(150, 100, 10, 255), width=S)
save(im, out + '/icon-certfile.png')

# New, install list, trust points: a rosette of trust with a green plus.
im, d = canvas()
d.polygon(box(9, 16, 6, 30, 11, 27, 14, 31, 15, 18), fill=(60, 110, 190, 255))
d.ellipse(box(2, 2, 22, 22), fill=(230, 170, 30, 255), outline=(150, 100, 10, 255), width=2 * S)
d.ellipse(box(7, 7, 17, 17), outline=(150, 100, 10, 255), width=S)
d.rectangle(box(21, 15, 25, 31), fill=(40, 140, 50, 255))
d.rectangle(box(15, 21, 31, 25), fill=(40, 140, 50, 255))
save(im, out + '/icon-add-trust.png')

# A question: a blue question mark in a circle.
im, d = canvas()
d.ellipse(box(2, 2, 30, 30), fill=(225, 236, 252, 255), outline=(40, 90, 170, 255), width=2 * S)
d.arc(box(10, 7, 22, 18), 180, 60, fill=(40, 90, 170, 255), width=3 * S)
d.line(box(19, 16, 16, 19, 16, 21), fill=(40, 90, 170, 255), width=3 * S)
d.ellipse(box(14, 23, 18, 27), fill=(40, 90, 170, 255))
save(im, out + '/icon-question.png')
