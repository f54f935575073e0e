#!/usr/bin/env python3
"""What one worker costs against another, side by side: both start, then get
every PDF of the list in turn at 88x, which of the two goes first alternating
from PDF to PDF and from round to round, so that a shared machine's changing
load falls on both alike. Prints, per round and worker, the start-up's wall
time and the wall and CPU time (the worker and all it started) per PDF, then
the ratios over all rounds, second worker over first.

Usage: readset-cost.py FIRST_WORKER SECOND_WORKER LIST [ROUNDS]"""
import os
import sys
import time

from thumbnails import CONVERT, Worker, request


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return sum(int(value) for value in fields[11:15]) / os.sysconf("SC_CLK_TCK")


def main():
    programs = sys.argv[1:3]
    pdfs = [line.rstrip("\n") for line in open(sys.argv[3])]
    rounds = int(sys.argv[4]) if len(sys.argv) > 4 else 3
    totals = [[0.0, 0.0, 0.0, 0.0], [0.0, 0.0, 0.0, 0.0]]
    print("round worker start-s start-cpu-s wall-s/pdf cpu-s/pdf")
    for number in range(rounds):
        order = [0, 1] if number % 2 == 0 else [1, 0]
        workers = {}
        for index in order:
            workers[index] = Worker(programs[index])
        wall = [0.0, 0.0]
        cpu = [cpu_seconds(workers[index].process.pid) for index in (0, 1)]
        for position, pdf in enumerate(pdfs):
            for index in (order if position % 2 == 0 else order[::-1]):
                started = time.monotonic()
                workers[index].exchange(
                    request(CONVERT, (pdf, "88x", "thumbnail.png", "PNG")), pdf)
                wall[index] += time.monotonic() - started
        for index in (0, 1):
            used = cpu_seconds(workers[index].process.pid) - cpu[index]
            start = workers[index].start_wall
            workers[index].close()
            totals[index] = [totals[index][0] + start, totals[index][1] + wall[index],
                             totals[index][2] + used, totals[index][3] + cpu[index]]
            print("%d %s %.3f %.3f %.4f %.4f" % (number + 1, ("first", "second")[index], start,
                                                 cpu[index], wall[index] / len(pdfs),
                                                 used / len(pdfs)))
    print("second / first over %d rounds of %d PDFs: wall %.3f, cpu %.3f; start %.3f s -> %.3f s,"
          " start CPU %.3f s -> %.3f s"
          % (rounds, len(pdfs), totals[1][1] / totals[0][1], totals[1][2] / totals[0][2],
             totals[0][0] / rounds, totals[1][0] / rounds, totals[0][3] / rounds,
             totals[1][3] / rounds))


main()
