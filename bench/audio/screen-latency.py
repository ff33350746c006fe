#!/usr/bin/env python3
"""Helpers of screen-latency.sh. All times are CLOCK_MONOTONIC seconds (time.monotonic).

  onsets           reads raw float32 mono 48 kHz samples (parec) from stdin and prints the
                   time of each burst's first sample above silence: the arrival time of the read that
                   held it, less the samples that followed it in that read.
  stamp            reads cava's ASCII raw output from stdin and prints "time sum-of-bars" per line.
  analyse ONSETS LABEL=SERIES...
                   for each series of "time value" lines, the time from each onset to the
                   moment the value first reaches half its rise (the mean before the onset
                   to the highest value in the burst's window), per burst, and on the
                   average of all bursts locked to their onsets.
"""
import os
import statistics
import sys
import time

RATE = 48000
QUIET = 0.01    # the gaps are digital silence; a burst's samples reach about 0.4
GAP = 0.3       # seconds of quiet before a burst for its first loud sample to count as an onset
BEFORE = 0.15   # baseline window before an onset
AFTER = 0.5     # window after an onset in which the rise is looked for


def onsets():
    import array
    fd = sys.stdin.fileno()
    quiet_run = 0
    pending = b""
    while True:
        chunk = os.read(fd, 4096)
        arrived = time.monotonic()
        if not chunk:
            return
        data = pending + chunk
        usable = len(data) - len(data) % 4
        pending = data[usable:]
        samples = array.array("f", data[:usable])
        for i, sample in enumerate(samples):
            level = abs(sample)
            if level >= QUIET and quiet_run >= GAP * RATE:
                print(f"{arrived - (len(samples) - i) / RATE:.6f}", flush=True)
            quiet_run = quiet_run + 1 if level < QUIET else 0


def stamp():
    for line in sys.stdin:
        arrived = time.monotonic()
        values = [int(v) for v in line.replace(";", " ").split() if v.isdigit()]
        print(f"{arrived:.6f} {sum(values)}", flush=True)


def read_series(path):
    series = []
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) == 2:
                series.append((float(parts[0]), float(parts[1])))
    return series


def value_at(series, t):
    """The value shown at time t: the last sample at or before t."""
    lo, hi = 0, len(series) - 1
    if hi < 0 or t < series[0][0]:
        return None
    while lo < hi:
        mid = (lo + hi + 1) // 2
        if series[mid][0] <= t:
            lo = mid
        else:
            hi = mid - 1
    return series[lo][1]


def half_rise(times, values, start):
    """First time from `start` on at which values reach half the rise, linearly interpolated."""
    base_values = [v for t, v in zip(times, values) if t < start]
    after = [(t, v) for t, v in zip(times, values) if t >= start]
    if not base_values or not after:
        return None
    base = statistics.mean(base_values)
    peak = max(v for _, v in after)
    if peak - base <= 0:
        return None
    half = base + (peak - base) / 2
    previous = None
    for t, v in after:
        if v >= half:
            if previous is None or previous[1] == v:
                return t
            (t0, v0) = previous
            return t0 + (t - t0) * (half - v0) / (v - v0)
        previous = (t, v)
    return None


def analyse(onset_path, labelled):
    with open(onset_path) as f:
        starts = [float(line) for line in f if line.strip()]
    print(f"{len(starts)} burst onsets")
    grid = [round(-BEFORE + i * 0.001, 3) for i in range(int((BEFORE + AFTER) * 1000))]
    for item in labelled:
        label, path = item.split("=", 1)
        series = read_series(path)
        if not series:
            print(f"{label}: no samples")
            continue
        polls = len(series) / (series[-1][0] - series[0][0]) if len(series) > 1 else 0
        per_burst = []
        average = [0.0] * len(grid)
        used = 0
        for start in starts:
            if start - BEFORE < series[0][0] or start + AFTER > series[-1][0]:
                continue
            window = [(t, v) for t, v in series if start - BEFORE <= t <= start + AFTER]
            crossing = half_rise([t for t, _ in window], [v for _, v in window], start)
            if crossing is not None:
                per_burst.append((crossing - start) * 1000)
            for i, offset in enumerate(grid):
                average[i] += value_at(series, start + offset)
            used += 1
        if not per_burst or used == 0:
            print(f"{label}: no rise found ({used} bursts in range)")
            continue
        locked = half_rise(grid, [v / used for v in average], 0.0)
        per_burst.sort()
        print(f"{label}: half-rise after onset median {statistics.median(per_burst):.1f} ms, "
              f"range {per_burst[0]:.1f}-{per_burst[-1]:.1f} ms ({len(per_burst)}/{len(starts)} bursts; "
              f"average of bursts {locked * 1000 if locked is not None else float('nan'):.1f} ms; "
              f"{polls:.0f} samples/s)")


if __name__ == "__main__":
    command = sys.argv[1] if len(sys.argv) > 1 else ""
    if command == "onsets":
        onsets()
    elif command == "stamp":
        stamp()
    elif command == "analyse" and len(sys.argv) >= 4:
        analyse(sys.argv[2], sys.argv[3:])
    else:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
