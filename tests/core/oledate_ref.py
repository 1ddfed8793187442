#!/usr/bin/python3
"""Independent OLE Automation date reference from Python's datetime.

  parts D...   for each serial D: "Y M D h m s weekday(1=Sunday) yearday"
  serial Y M D h m s   the serial of a date and time
A serial's whole part counts days from 30 December 1899; its fraction is the time of day, counted forward
from midnight also for negative serials (-1.25 is 29 December 1899, 06:00).
"""
import datetime
import math
import sys

EPOCH = datetime.datetime(1899, 12, 30)


def parts(d):
    days = math.trunc(d)
    seconds = round(abs(d - days) * 86400)
    t = EPOCH + datetime.timedelta(days=days, seconds=seconds)
    wd = (t.isoweekday() % 7) + 1
    return "%d %d %d %d %d %d %d %d" % (t.year, t.month, t.day, t.hour, t.minute, t.second, wd,
                                        t.timetuple().tm_yday)


def serial(y, mo, d, h, mi, s):
    day = (datetime.datetime(y, mo, d) - EPOCH).days
    frac = (h * 3600 + mi * 60 + s) / 86400
    return day - frac if day < 0 else day + frac


a = sys.argv[1:]
if a[0] == "parts":
    for x in a[1:]:
        print(parts(float(x)))
else:
    print(repr(serial(*map(int, a[1:]))))
