// The GeoPackage explains itself: layer descriptions, field aliases and
// descriptions in gpkg_data_columns, only the fields with values, and a
// default QGIS style per layer, read back by SQL and by GDAL's Python
// bindings as a user's tools would.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "map/GeoPackage.h"
#include "map/GeoPackageStyle.h"
#include "support/TestFiles.h"

using namespace map;

using testing_support::TempFolder;

namespace {

std::pair<int, std::string> runPython(const TempFolder& folder, const std::string& script, const std::string& gpkg) {
    const std::string path = folder.write("read.py", script);
    FILE* pipe = popen(("/usr/bin/python3 '" + path + "' '" + gpkg + "' 2>&1").c_str(), "r");
    std::string output;
    char buffer[4096];
    while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    const int status = pipe != nullptr ? pclose(pipe) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

GeoPackageEntire entire() {
    GeoPackageEntire e;
    for (long id = 1; id <= 3; ++id) {
        SegmentRow s;
        s.id = id;
        s.fromLon = 10 + 0.01 * id, s.toLon = 10 + 0.01 * (id - 1), s.fromLat = s.toLat = s.lat = 45;
        s.lon = (s.fromLon + s.toLon) / 2;
        s.length = 790;
        if (id < 3) s.firstOccupied = 20 * id;  // 20 and 40; segment 3 never
        e.segments.push_back(s);
    }
    e.segments[0].sources = "Mouth";
    e.segments[1].samples = "A";
    e.segments[2].samples = "B";
    e.samples = {{"A", 2, 10.015, 45, 0.42, true, {{"he", 0.42}, {"pi", 1.5}}},
                 {"B", 3, 10.025, 45, 0.55, false, {{"he", 0.55}, {"pi", 2.5}}}};
    e.sources = {{"Mouth", 1, 10.005, 45, std::nullopt, true, {}}};
    // rep_mean is a microsatellite statistic: NA throughout in a DNA run.
    e.statisticsColumns = {"he", "pi", "rep_mean"};
    return e;
}

}  // namespace

TEST(MapGeoPackage, ItExplainsItself) {
    TempFolder folder;
    const std::string gpkg = folder.folder() + "s.gpkg";
    writeGeoPackage(gpkg, {entire()});
    const std::string script = R"PY(
import sqlite3, sys, xml.dom.minidom
from osgeo import ogr
ds = ogr.Open(sys.argv[1])
for name in ('segments', 'samples', 'sources'):
    layer = ds.GetLayerByName(name)
    d = layer.GetLayerDefn()
    print('fields', name, ','.join(d.GetFieldDefn(k).GetName() for k in range(d.GetFieldCount())))
    print('description', name, layer.GetMetadataItem('DESCRIPTION'))
styles = ds.GetLayerByName('layer_styles')
print('style rows', styles.GetFeatureCount())
ds = None
db = sqlite3.connect(sys.argv[1])
for row in db.execute("SELECT table_name, column_name, name, description FROM gpkg_data_columns "
                      "WHERE column_name IN ('he', 'first_closed', 'e') ORDER BY table_name, column_name"):
    print('column', '|'.join(str(v) for v in row))
for table, in db.execute("SELECT DISTINCT table_name FROM gpkg_data_columns ORDER BY 1"):
    count, = db.execute("SELECT COUNT(*) FROM gpkg_data_columns WHERE table_name = ? AND description != ''", (table,)).fetchone()
    print('described', table, count)
for row in db.execute("SELECT table_name, extension_name, scope FROM gpkg_extensions "
                      "WHERE extension_name = 'gpkg_schema' ORDER BY 1"):
    print('extension', '|'.join(row))
for name, qml, default in db.execute("SELECT f_table_name, styleQML, useAsDefault FROM layer_styles ORDER BY id"):
    doc = xml.dom.minidom.parseString(qml)
    renderer = doc.getElementsByTagName('renderer-v2')[0]
    ranges = doc.getElementsByTagName('range')
    markers = [o.getAttribute('value') for o in doc.getElementsByTagName('Option') if o.getAttribute('name') == 'name']
    aliases = {a.getAttribute('field'): a.getAttribute('name') for a in doc.getElementsByTagName('alias')}
    print('alias', name, aliases.get('he') or aliases.get('first_occupied') or aliases.get('name'))
    print('style', name, default, renderer.getAttribute('type'), renderer.getAttribute('attr'), len(ranges),
          ranges[0].getAttribute('lower') if ranges else '-', ranges[-1].getAttribute('upper') if ranges else '-',
          ','.join(sorted(set(markers))) or '-')
)PY";
    const auto [status, output] = runPython(folder, script, gpkg);
    ASSERT_EQ(status, 0) << output;
    const std::vector<std::string> expected{
        // Only the statistics with values: no rep_mean in a DNA run.
        "fields samples e,name,segment,lon,lat,he,pi\n",
        "fields sources e,name,segment,lon,lat\n",
        "description segments " + layerDescription("segments") + "\n",
        "description samples " + layerDescription("samples") + "\n",
        "style rows 3\n",
        "column samples|e|entire simulation|" + describeField("samples", "e").description + "\n",
        "column samples|he|gene diversity He|" + describeField("samples", "he").description + "\n",
        "column segments|first_closed|first closed (generation)|" +
            describeField("segments", "first_closed").description + "\n",
        // Every field of every layer is described.
        "described samples 7\n",
        "described segments 20\n",
        "described sources 5\n",
        "extension gpkg_data_column_constraints|gpkg_schema|read-write\n",
        "extension gpkg_data_columns|gpkg_schema|read-write\n",
        // Segments by first occupation over 20..40 (the PNG map's range),
        // samples by He over 0.42..0.55, sources as triangles.
        "style segments 1 graduatedSymbol first_occupied 8 20 40 -\n",
        "style samples 1 graduatedSymbol he 8 0.42 0.55 circle\n",
        "style sources 1 singleSymbol  0 - - triangle\n",
        // The aliases travel with the styles too: QGIS reads them there.
        "alias segments first occupied (generation)\n",
        "alias samples gene diversity He\n",
        "alias sources name\n",
    };
    for (const auto& line : expected) EXPECT_NE(output.find(line), std::string::npos) << line << "\nin\n" << output;
}
