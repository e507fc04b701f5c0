# tmrca_summary.py GENERATIONS FILE.tmrca [FILE.tmrca ...]: median age per
# sample and how often it is at the cap, pooled over the files by sample name
# (the names are the "#Location" lines of each run's first project file).
import glob, statistics, sys
cap, ages = int(sys.argv[1]), {}
for table in sys.argv[2:]:
    arp = sorted(glob.glob(table[:-len(".tmrca")] + "_*.arp"))[0]
    names = ["all genes"] + [l.split()[1] for l in open(arp) if l.startswith("#Location ")]
    for row in [l.split() for l in open(table)][1:]:
        for name, age in zip(names, row[1:]):
            if age != "NA":
                ages.setdefault(name, []).append(int(age))
for name, a in ages.items():
    print(f"{name:16} median {statistics.median(a):6.1f}   at {cap}: {sum(x == cap for x in a):3d} of {len(a)}")
