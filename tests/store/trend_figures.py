#!/usr/bin/env python3
"""Writes TrendFigureExpectations.h (into the folder given, by the build): the per-day and per-week figures
of a generated two-year profile, computed here independently of the tracker (the C++ test generates the same
matches with the same formula)."""
import datetime
import os
import sys

UNITS_PER_DAY = 864000000000
UNITS_PER_MINUTE = 600000000
START = (datetime.date(2024, 1, 1) - datetime.date(1601, 1, 1)).days * UNITS_PER_DAY
COUNT = 30000


def matches():
    x, t = 20241, START
    for _ in range(COUNT):
        x = (x * 1103515245 + 12345) % (1 << 31)
        minutes = 1 + x % 61
        if x % 997 == 0:
            minutes += 5 * 24 * 60
        t += minutes * UNITS_PER_MINUTE + (x % 1000) * 10000
        if (x >> 16) % 50 == 0:
            yield t, None  # undecided: 1 to 1
        else:
            yield t, (x >> 8) % 100 < 53


def per(days_per_point):
    points = {}
    for t, won in matches():
        if won is None:
            continue
        day = t // UNITS_PER_DAY
        first = day - day % days_per_point  # 1601-01-01 was a Monday
        w, l = points.get(first, (0, 0))
        points[first] = (w + 1, l) if won else (w, l + 1)
    return sorted(points.items())


def months():
    stamps = [t for t, _ in matches()]
    first = datetime.date(1601, 1, 1) + datetime.timedelta(days=stamps[0] // UNITS_PER_DAY)
    last = datetime.date(1601, 1, 1) + datetime.timedelta(days=stamps[-1] // UNITS_PER_DAY)
    out, y, m = [], first.year, first.month
    while (y, m) <= (last.year, last.month):
        out.append(((datetime.date(y, m, 1) - datetime.date(1601, 1, 1)).days, y, m))
        y, m = (y + 1, 1) if m == 12 else (y, m + 1)
    return out


def table(name, rows):
    body = ",\n".join("    {%d, %d, %d}" % (first, w, l) for first, (w, l) in rows)
    return "const RatePoint %s[] = {\n%s,\n};\n" % (name, body)


with open(os.path.join(sys.argv[1], "TrendFigureExpectations.h"), "w") as out:
    out.write("// Made by trend_figures.py; do not edit.\n#pragma once\n\n")
    out.write("const int64_t TrendStart = %dLL;\nconst int TrendMatches = %d;\n\n" % (START, COUNT))
    out.write(table("ExpectedWeeks", per(7)))
    out.write(table("ExpectedDays", per(1)))
    marks = ",\n".join("    {%d, %d, %d}" % m for m in months())
    out.write("const MonthMark ExpectedMonths[] = {\n%s,\n};\n" % marks)
