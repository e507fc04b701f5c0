#!/usr/bin/python3
"""Turns the river lines that `gmt coast -M` writes (segments headed by
"> River Bin # N, Level L", then "lon lat" lines) into a GeoJSON layer of
LineStrings with the fields `level` and `bin`. Coordinates are rounded to
1e-7 degrees (about 1 cm), below the data's own precision."""
import json
import re
import sys

HEADER = re.compile(r">\s*River Bin # (\d+), Level (\d+)")


def lines(text):
    current, properties = None, None
    for raw in text.splitlines():
        raw = raw.strip()
        if not raw:
            continue
        if raw.startswith(">"):
            if current and len(current) > 1:
                yield properties, current
            match = HEADER.match(raw)
            properties = {"bin": int(match.group(1)), "level": int(match.group(2))} if match else {}
            current = []
            continue
        lon, lat = (float(v) for v in raw.split()[:2])
        current.append([round(lon, 7), round(lat, 7)])
    if current and len(current) > 1:
        yield properties, current


def main():
    source = open(sys.argv[1]).read() if len(sys.argv) > 1 else sys.stdin.read()
    features = [{"type": "Feature", "properties": p, "geometry": {"type": "LineString", "coordinates": c}}
                for p, c in lines(source)]
    json.dump({"type": "FeatureCollection", "name": "rivers", "features": features}, sys.stdout,
              separators=(",", ":"))
    sys.stdout.write("\n")


if __name__ == "__main__":
    main()
