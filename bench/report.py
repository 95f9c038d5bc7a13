#!/usr/bin/env python3
"""Prints the medians of a bench_pipeline JSON report and the ratios against the floor."""
import json
import sys

TARGET_WORK = 1.15
TARGET_CAPTIONS = 1.2
TARGET_ENCODE = 1.05


def main(path):
    with open(path) as f:
        data = json.load(f)
    medians = {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name") == "median":
            name = b["run_name"]
            scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0}[b["time_unit"]]
            medians[name] = b["real_time"] * scale  # milliseconds
    print("median wall time per run (ms)")
    for name in sorted(medians):
        print(f"  {name:<24} {medians[name]:10.3f}")
    ok = True
    print("ratios")
    for arg, label in (("0", "1920x1080"), ("1", "3840x2160")):
        work, floor = medians.get(f"Work/{arg}"), medians.get(f"Floor/{arg}")
        magick = medians.get(f"ImageMagick/{arg}/iterations:5/real_time")
        if work and floor:
            ratio = work / floor
            ok &= ratio <= TARGET_WORK
            print(f"  {label}: W / floor = {ratio:.3f} (target <= {TARGET_WORK})")
        captioned = medians.get(f"WorkWithCaptions/{arg}")
        if captioned and floor:
            ratio = captioned / floor
            ok &= ratio <= TARGET_CAPTIONS
            print(f"  {label}: W with two captions / floor = {ratio:.3f} (target <= {TARGET_CAPTIONS})")
        if work and magick:
            print(f"  {label}: ImageMagick / W = {magick / work:.1f}")
        fastest, sse2 = medians.get(f"CropResize/{arg}/0"), medians.get(f"CropResize/{arg}/1")
        if fastest and sse2:
            print(f"  {label}: crop+resize, fastest passes / SSE2 passes = {fastest / sse2:.2f}")
    ours, turbo = medians.get("EncodeOurs"), medians.get("EncodeTurboJpeg")
    if ours and turbo:
        ratio = ours / turbo
        ok &= ratio <= TARGET_ENCODE
        print(f"  encode 800x450 q75: ours / TurboJPEG = {ratio:.3f} (target <= {TARGET_ENCODE})")
    print("targets met" if ok else "TARGETS MISSED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
