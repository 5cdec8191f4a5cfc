"""Prints the Google Benchmark JSON documents read from stdin as one table."""
import json
import sys

decoder = json.JSONDecoder()
text = sys.stdin.read()
pos = 0
print("%-58s %16s %16s %12s  %s" % ("benchmark", "time", "cpu", "iterations", "counters"))
while True:
    while pos < len(text) and text[pos].isspace():
        pos += 1
    if pos >= len(text):
        break
    document, pos = decoder.raw_decode(text, pos)
    for run in document.get("benchmarks", []):
        if run.get("run_type") == "aggregate" and run.get("aggregate_name") != "median":
            continue
        unit = run.get("time_unit", "ns")
        known = {"name", "run_name", "run_type", "repetitions", "repetition_index", "threads", "iterations",
                 "real_time", "cpu_time", "time_unit", "family_index", "per_family_instance_index",
                 "aggregate_name", "aggregate_unit", "label", "error_occurred", "error_message"}
        counters = ", ".join("%s=%.4g" % (k, v) for k, v in run.items()
                             if k not in known and isinstance(v, (int, float)))
        if run.get("label"):
            counters = (counters + " " + run["label"]).strip()
        print("%-58s %13.4g %s %13.4g %s %12d  %s" % (run["name"], run["real_time"], unit, run["cpu_time"], unit,
                                                     run.get("iterations", 0), counters))
