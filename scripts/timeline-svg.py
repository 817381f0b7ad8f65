#!/usr/bin/env python3
"""Draws one service run as an SVG timeline from the timeline.csv the scenario driver writes
(ms, state, command, status byte, heartbeat age; -1 where absent).
Usage: timeline-svg.py TIMELINE_CSV OUT_SVG"""
import csv
import sys

STATE_COLOURS = {"START_PENDING": "#f2c94c", "RUNNING": "#6fcf97", "STOP_PENDING": "#f2994a", "STOPPED": "#bdbdbd"}
COMMANDS = {-1: "none", 32768: "0x8000 before launch", 1: "1 stop begin", 10: "10 stop finish"}
LEFT, WIDTH, LANE, GAP = 150, 760, 34, 14


def segments(rows, key):
    """Runs of equal values: (start s, end s, value)."""
    out = []
    for i, row in enumerate(rows):
        t, v = row["t"], row[key]
        end = rows[i + 1]["t"] if i + 1 < len(rows) else t + 0.5
        if out and out[-1][2] == v:
            out[-1] = (out[-1][0], end, v)
        else:
            out.append((t, end, v))
    return out


def main(src, dst):
    rows = []
    with open(src) as f:
        for ms, state, command, status, age in csv.reader(f):
            rows.append({"t": int(ms) / 1000.0, "state": state, "command": int(command),
                         "status": int(status), "age": int(age)})
    total = rows[-1]["t"] + 0.5
    x = lambda t: LEFT + WIDTH * t / total
    lanes = [
        ("service state", "state", lambda v: STATE_COLOURS.get(v, "#eee"), lambda v: v),
        ("command file", "command", lambda v: "#d6e4ff" if v < 0 else "#56ccf2", lambda v: COMMANDS.get(v, str(v))),
        ("status byte", "status",
         lambda v: "#eeeeee" if v < 0 else ("#eb5757" if v & 0x80 else "#27ae60"),
         lambda v: "absent" if v < 0 else "0x%02X%s" % (v, " hold" if v & 0x80 else "")),
    ]
    height = 60 + (len(lanes) + 1) * (LANE + GAP) + 30
    out = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" font-family="sans-serif" font-size="12">'
           % (LEFT + WIDTH + 20, height),
           '<rect width="100%" height="100%" fill="white"/>',
           '<text x="10" y="24" font-size="15" font-weight="bold">One run of QVLService, from a real run under Wine</text>']
    y = 44
    for title, key, colour, label in lanes:
        out.append('<text x="10" y="%d">%s</text>' % (y + LANE / 2 + 4, title))
        for start, end, v in segments(rows, key):
            out.append('<rect x="%.1f" y="%d" width="%.1f" height="%d" fill="%s" stroke="white"/>'
                       % (x(start), y, max(x(end) - x(start), 1), LANE, colour(v)))
            if x(end) - x(start) > 40:
                out.append('<text x="%.1f" y="%d">%s</text>' % (x(start) + 4, y + LANE / 2 + 4, label(v)))
        y += LANE + GAP
    out.append('<text x="10" y="%d">heartbeat age</text>' % (y + LANE / 2 + 4))
    scale = max([r["age"] for r in rows] + [5])
    points = " ".join("%.1f,%.1f" % (x(r["t"]), y + LANE - LANE * r["age"] / scale) for r in rows if r["age"] >= 0)
    out.append('<rect x="%d" y="%d" width="%d" height="%d" fill="#fafafa" stroke="#ddd"/>' % (LEFT, y, WIDTH, LANE))
    out.append('<polyline points="%s" fill="none" stroke="#2d9cdb" stroke-width="2"/>' % points)
    y += LANE + GAP
    for s in range(0, int(total) + 1, 5):
        out.append('<line x1="%.1f" y1="44" x2="%.1f" y2="%d" stroke="#ccc" stroke-dasharray="2,3"/>' % (x(s), x(s), y - GAP))
        out.append('<text x="%.1f" y="%d" text-anchor="middle">%d s</text>' % (x(s), y + 4, s))
    out.append("</svg>")
    with open(dst, "w") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
