#!/usr/bin/env bash
# The rivers of the example, from the full-resolution GSHHG river lines that
# GMT ships (Debian: apt-get install gmt gmt-gshhg-full; LGPL data), and the
# import that turns them into the drainage files of this folder.
#
#   examples/danube/extract.sh             extract (needs gmt) and import
#   examples/danube/extract.sh --import    import the kept rivers.geojson only
#
# FLUVIAGEN_IMPORT names the importer (default: build/fluviagen-import).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
import="${FLUVIAGEN_IMPORT:-$here/../../build/fluviagen-import}"
cd "$here"

# The box over the Romanian tributaries of the Danube: 20-26 E, 44-48 N. Its
# largest network is the Danube from Novi Sad to Calafat with the Tisza, the
# Mures, the Cris rivers, the Timis and the Morava.
region=20/26/44/48
if [ "${1:-}" != "--import" ]; then
    # -IR: every permanent river except the double-lined river-lakes; -Df:
    # full resolution; -M: the lines as text, one segment per river piece.
    # GSHHG cuts its lines at the borders of 1-degree bins and at lake shores.
    gmt coast -R"$region" -IR -Df -M > rivers_gmt.txt
    /usr/bin/python3 gmt_to_geojson.py rivers_gmt.txt > rivers.geojson
    rm rivers_gmt.txt
fi

# The pieces of GSHHG's lines meet within 100 m: 100 m joins the whole
# network of the outlet, 2651 km (50 m keeps 850 km of it; 200 m adds 7
# loops where distinct lines come close; from 1 km on, arms around the
# Danube's islands are dropped as duplicates). The outlet is where the Danube leaves the box at Calafat.
# --resample cuts every segment along its line into pieces of about 1 km, so
# the drainage written is the one simulated (the template's line 40 is 0).
# A fixed date in the file headers: the same layer gives the same files.
SOURCE_DATE_EPOCH=1796601600 "$import" rivers.geojson --outlet 22.910277,44.0 --tolerance 100 \
    --sources sources.geojson --samples samples.geojson --resample 1000 --prefix danube

# The settings of the example: the template with 3000 generations (line 9),
# enough for the colonisation from the Danube to reach the upper Mures.
sed '9s/^1000 /3000 /' danube_settings.txt > settings.txt
