# network_summary.py NETWORK.geojson: what fluviagen-import kept of a river
# layer (its --geojson output): segments, total length, the longest and the
# shortest segment, the headwaters (nodes where no segment flows in) and the
# confluences (nodes where two segments or more flow in).
import json
import sys
from collections import Counter

features = json.load(open(sys.argv[1]))["features"]
segments = [f["properties"] for f in features]
length = {s["SegID"]: s["Length"] for s in segments}
inflows = Counter(s["TNode"] for s in segments)
nodes = {s["FNode"] for s in segments} | {s["TNode"] for s in segments}
headwaters = [n for n in nodes if inflows[n] == 0]
confluences = [n for n in nodes if inflows[n] >= 2]
longest = max(length, key=length.get)
shortest = min(length, key=length.get)
print(f"segments     {len(segments)}, {sum(length.values()) / 1000:.3f} km")
print(f"longest      segment {longest}, {length[longest] / 1000:.3f} km")
print(f"shortest     segment {shortest}, {length[shortest]:.1f} m")
print(f"nodes        {len(nodes)}: {len(headwaters)} headwaters, {len(confluences)} confluences")
