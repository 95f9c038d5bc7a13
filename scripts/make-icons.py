#!/usr/bin/env python3
"""Draws Pixlet's tray and window icons as SVG and renders them to PNG with rsvg-convert
(librsvg2-bin, needed only to redraw them).

500 is the running camera, 516 the stopped one, 505..515 the frames between them (515 next to
stopped, 505 next to running), 501 the running camera with an error badge, 502 the picture of
the Preview page and its floating window, 503 the collected file's window, 504 the camera's. Run from the
repository root; the results are committed under resources/icons.
"""
import os
import subprocess

OUT = "resources/icons"
SIZES = (16, 22, 32, 48, 64)


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def hexcolour(c):
    return "#%02x%02x%02x" % c


def camera(t, error=False):
    """t = 0 stopped (grey, shutter closed), t = 1 running (teal, lens open)."""
    body = hexcolour(mix((120, 124, 130), (18, 128, 150), t))
    edge = hexcolour(mix((70, 72, 76), (8, 70, 84), t))
    lens_ring = hexcolour(mix((200, 202, 206), (230, 244, 247), t))
    glass = hexcolour(mix((40, 42, 46), (40, 170, 230), t))
    iris = 2.0 + 7.0 * t  # the aperture opens as the camera starts
    light = hexcolour(mix((90, 90, 90), (255, 210, 60), t))
    parts = [
        '<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">',
        f'<rect x="20" y="9" width="18" height="9" rx="2" fill="{edge}"/>',
        f'<rect x="4" y="15" width="56" height="40" rx="8" fill="{body}" stroke="{edge}" stroke-width="3"/>',
        f'<circle cx="49" cy="23" r="3.5" fill="{light}"/>',
        f'<circle cx="32" cy="35" r="15" fill="{lens_ring}" stroke="{edge}" stroke-width="3"/>',
        f'<circle cx="32" cy="35" r="10.5" fill="#1b1d20"/>',
        f'<circle cx="32" cy="35" r="{iris:.1f}" fill="{glass}"/>',
    ]
    if t > 0.5:
        parts.append(f'<circle cx="28" cy="31" r="{1.0 + 2.0 * t:.1f}" fill="#ffffff" fill-opacity="0.8"/>')
    if error:
        parts += [
            '<circle cx="49" cy="49" r="13" fill="#c81e1e" stroke="#ffffff" stroke-width="3"/>',
            '<rect x="46.5" y="40" width="5" height="11" rx="1.5" fill="#ffffff"/>',
            '<circle cx="49" cy="55.5" r="2.6" fill="#ffffff"/>',
        ]
    parts.append("</svg>")
    return "\n".join(parts) + "\n"


def picture():
    """A framed landscape: the published still."""
    return "\n".join([
        '<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">',
        '<rect x="4" y="9" width="56" height="46" rx="6" fill="#e6f4f7" stroke="#08464f" stroke-width="3"/>',
        '<rect x="10" y="15" width="44" height="34" rx="2" fill="#28aae6"/>',
        '<circle cx="43" cy="24" r="5" fill="#ffd23c"/>',
        '<path d="M10 49 L25 29 L35 41 L41 34 L54 49 Z" fill="#12808f" stroke="#08464f" stroke-width="1.5"/>',
        "</svg>",
    ]) + "\n"


def file_picture():
    """A photo file with a folded corner: the collected file."""
    return "\n".join([
        '<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">',
        '<path d="M12 4 H42 L54 16 V60 H12 Z" fill="#e6f4f7" stroke="#08464f" stroke-width="3"/>',
        '<path d="M42 4 V16 H54" fill="#b9dfe6" stroke="#08464f" stroke-width="3"/>',
        '<rect x="18" y="24" width="30" height="28" rx="2" fill="#28aae6"/>',
        '<circle cx="40" cy="31" r="4" fill="#ffd23c"/>',
        '<path d="M18 52 L29 37 L36 45 L40 41 L48 52 Z" fill="#12808f"/>',
        "</svg>",
    ]) + "\n"


def camera_window():
    """The running camera in a window frame: the live video's own window."""
    body = camera(1.0).split("\n")
    inner = [line for line in body if line.startswith("<") and not line.startswith("<svg") and not line.startswith("</svg")]
    return "\n".join([
        '<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">',
        '<rect x="2" y="2" width="60" height="60" rx="5" fill="#e6f4f7" stroke="#08464f" stroke-width="3"/>',
        '<rect x="2" y="2" width="60" height="11" rx="5" fill="#12808f"/>',
        '<g transform="translate(10 14) scale(0.7)">',
        *inner,
        "</g>",
        "</svg>",
    ]) + "\n"


def icons():
    yield 500, camera(1.0)
    yield 502, picture()
    yield 503, file_picture()
    yield 504, camera_window()
    yield 501, camera(1.0, error=True)
    yield 516, camera(0.0)
    for n in range(505, 516):
        yield n, camera((516 - n) / 12.0)


def main():
    os.makedirs(OUT, exist_ok=True)
    for number, svg in icons():
        svg_path = f"{OUT}/pixlet-{number}.svg"
        with open(svg_path, "w") as f:
            f.write(svg)
        for size in SIZES:
            subprocess.run(["rsvg-convert", "-w", str(size), "-h", str(size), "-o",
                            f"{OUT}/pixlet-{number}-{size}.png", svg_path], check=True)


if __name__ == "__main__":
    main()
