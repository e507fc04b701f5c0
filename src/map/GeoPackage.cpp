#include "map/GeoPackage.h"

#include <cpl_string.h>
#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <utility>

#include "common/ExchangeTables.h"
#include "map/GeoPackageStyle.h"

namespace map {

namespace {

struct DatasetCloser {
    void operator()(void* dataset) const { GDALClose(dataset); }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

[[noreturn]] void fail(const std::string& path, const std::string& what) {
    const char* reason = CPLGetLastErrorMsg();
    throw MapError("'" + path + "' cannot be written: " + what + (reason && *reason ? std::string(": ") + reason : ""));
}

// The GeoPackage type of a table's column: whole numbers in 64 bits, a flag
// in 32.
OGRFieldType fieldType(common::FieldKind kind) {
    switch (kind) {
        case common::FieldKind::whole:
        case common::FieldKind::wholeOrEmpty:
        case common::FieldKind::wholeOrNA:
            return OFTInteger64;
        case common::FieldKind::real:
        case common::FieldKind::realOrEmpty:
        case common::FieldKind::realOrNA:
            return OFTReal;
        case common::FieldKind::flag:
            return OFTInteger;
        case common::FieldKind::text:
            return OFTString;
    }
    return OFTString;
}

void addField(OGRLayerH layer, const char* name, OGRFieldType type, const std::string& path) {
    OGRFieldDefnH field = OGR_Fld_Create(name, type);
    const OGRErr error = OGR_L_CreateField(layer, field, TRUE);
    OGR_Fld_Destroy(field);
    if (error != OGRERR_NONE) fail(path, std::string("field ") + name);
}

// Adds the feature and frees it.
void addFeature(OGRLayerH layer, OGRFeatureH feature, const std::string& path) {
    const OGRErr error = OGR_L_CreateFeature(layer, feature);
    OGR_F_Destroy(feature);
    if (error != OGRERR_NONE) fail(path, "a feature");
}

OGRLayerH createLayer(GDALDatasetH dataset, const char* name, OGRwkbGeometryType type, OGRSpatialReferenceH srs,
                      const std::string& path, const std::string& description, const char* fid = nullptr) {
    char** options = nullptr;
    if (!description.empty()) options = CSLSetNameValue(options, "DESCRIPTION", description.c_str());
    if (fid != nullptr) options = CSLSetNameValue(options, "FID", fid);
    OGRLayerH layer = GDALDatasetCreateLayer(dataset, name, srs, type, options);
    CSLDestroy(options);
    if (layer == nullptr) fail(path, std::string("layer ") + name);
    return layer;
}

// Runs one SQL statement that returns no rows; throws naming the file when
// SQLite refuses it.
void execute(GDALDatasetH dataset, const std::string& sql, const std::string& path) {
    CPLErrorReset();
    OGRLayerH result = GDALDatasetExecuteSQL(dataset, sql.c_str(), nullptr, nullptr);
    if (result != nullptr) GDALDatasetReleaseResultSet(dataset, result);
    if (CPLGetLastErrorType() >= CE_Failure) fail(path, "the metadata tables");
}

std::string quotedSql(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

// The fields' aliases and descriptions in gpkg_data_columns (the schema
// extension of the GeoPackage standard, registered in gpkg_extensions):
// QGIS shows the alias in its attribute table and forms.
void describeFields(GDALDatasetH dataset, const std::vector<std::pair<std::string, OGRLayerH>>& layers,
                    const std::string& path) {
    execute(dataset,
            "CREATE TABLE IF NOT EXISTS gpkg_data_columns (table_name TEXT NOT NULL, column_name TEXT NOT NULL, "
            "name TEXT, title TEXT, description TEXT, mime_type TEXT, constraint_name TEXT, "
            "CONSTRAINT pk_gdc PRIMARY KEY (table_name, column_name))",
            path);
    execute(dataset,
            "CREATE TABLE IF NOT EXISTS gpkg_data_column_constraints (constraint_name TEXT NOT NULL, "
            "constraint_type TEXT NOT NULL, value TEXT, min NUMERIC, min_is_inclusive BOOLEAN, max NUMERIC, "
            "max_is_inclusive BOOLEAN, description TEXT, "
            "CONSTRAINT gdcc_ntv UNIQUE (constraint_name, constraint_type, value))",
            path);
    execute(dataset,
            "CREATE TABLE IF NOT EXISTS gpkg_extensions (table_name TEXT, column_name TEXT, extension_name TEXT NOT "
            "NULL, definition TEXT NOT NULL, scope TEXT NOT NULL, CONSTRAINT ge_tce UNIQUE (table_name, column_name, "
            "extension_name))",
            path);
    for (const char* table : {"gpkg_data_columns", "gpkg_data_column_constraints"})
        execute(dataset,
                std::string("INSERT OR IGNORE INTO gpkg_extensions VALUES ('") + table +
                    "', NULL, 'gpkg_schema', 'http://www.geopackage.org/spec/#extension_schema', 'read-write')",
                path);
    for (const auto& [name, layer] : layers) {
        OGRFeatureDefnH definition = OGR_L_GetLayerDefn(layer);
        for (int k = 0; k < OGR_FD_GetFieldCount(definition); ++k) {
            const std::string field = OGR_Fld_GetNameRef(OGR_FD_GetFieldDefn(definition, k));
            const FieldText text = describeField(name, field);
            execute(dataset,
                    "INSERT OR REPLACE INTO gpkg_data_columns (table_name, column_name, name, title, description) "
                    "VALUES (" +
                        quotedSql(name) + ", " + quotedSql(field) + ", " + quotedSql(text.alias) + ", " +
                        quotedSql(text.alias) + ", " + quotedSql(text.description) + ")",
                    path);
        }
    }
}

// The default QGIS style of each layer, in the table "layer_styles" with the
// columns QGIS reads (and writes when a user saves a style there).
void addStyles(GDALDatasetH dataset, const std::vector<std::pair<std::string, std::string>>& styles,
               const std::string& path) {
    OGRLayerH table =
        createLayer(dataset, "layer_styles", wkbNone, nullptr, path,
                    "Default QGIS styles of the layers (QGIS applies them when a layer is opened).", "id");
    for (const char* name : {"f_table_catalog", "f_table_schema", "f_table_name", "f_geometry_column", "styleName",
                             "styleQML", "styleSLD", "description", "owner", "ui"})
        addField(table, name, OFTString, path);
    {
        OGRFieldDefnH field = OGR_Fld_Create("useAsDefault", OFTInteger);
        OGR_Fld_SetSubType(field, OFSTBoolean);
        const OGRErr error = OGR_L_CreateField(table, field, TRUE);
        OGR_Fld_Destroy(field);
        if (error != OGRERR_NONE) fail(path, "field useAsDefault");
        addField(table, "update_time", OFTDateTime, path);
    }
    for (const auto& [layer, qml] : styles) {
        OGRFeatureH f = OGR_F_Create(OGR_L_GetLayerDefn(table));
        OGR_F_SetFieldString(f, OGR_F_GetFieldIndex(f, "f_table_catalog"), "");
        OGR_F_SetFieldString(f, OGR_F_GetFieldIndex(f, "f_table_schema"), "");
        OGR_F_SetFieldString(f, OGR_F_GetFieldIndex(f, "f_table_name"), layer.c_str());
        OGR_F_SetFieldString(f, OGR_F_GetFieldIndex(f, "f_geometry_column"), "geom");
        OGR_F_SetFieldString(f, OGR_F_GetFieldIndex(f, "styleName"), layer.c_str());
        OGR_F_SetFieldString(f, OGR_F_GetFieldIndex(f, "styleQML"), qml.c_str());
        OGR_F_SetFieldString(f, OGR_F_GetFieldIndex(f, "styleSLD"), "");
        OGR_F_SetFieldString(f, OGR_F_GetFieldIndex(f, "description"), ("fluviagen-map: " + layer).c_str());
        OGR_F_SetFieldString(f, OGR_F_GetFieldIndex(f, "owner"), "");
        OGR_F_SetFieldInteger(f, OGR_F_GetFieldIndex(f, "useAsDefault"), 1);
        addFeature(table, f, path);
    }
}

}  // namespace

void writeGeoPackage(const std::string& path, const std::vector<GeoPackageEntire>& entireSimulations) {
    GDALAllRegister();
    GDALDriverH driver = GDALGetDriverByName("GPKG");
    if (driver == nullptr) throw MapError("'" + path + "' cannot be written: GDAL has no GeoPackage driver");
    // The file is created where it is named (inside the map program's private
    // staging folder); GDAL takes the format from the ".gpkg" ending.
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, error)))
        throw MapError("'" + path + "' cannot be written: it exists");
    {
        Dataset dataset(GDALCreate(driver, path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
        if (!dataset) fail(path, "GDAL cannot create it");
        OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
        OSRImportFromEPSG(srs, 4326);
        OSRSetAxisMappingStrategy(srs, OAMS_TRADITIONAL_GIS_ORDER);
        GDALDatasetH ds = dataset.get();

        OGRLayerH segments = createLayer(ds, "segments", wkbLineString, srs, path, layerDescription("segments"));
        addField(segments, "e", OFTInteger, path);
        // Every column of the segments table, after "e", typed by its kind.
        for (const common::FieldDeclaration& column : common::segmentsColumns)
            addField(segments, std::string(column.name).c_str(), fieldType(column.kind), path);

        OGRLayerH samples = createLayer(ds, "samples", wkbPoint, srs, path, layerDescription("samples"));
        OGRLayerH sources = createLayer(ds, "sources", wkbPoint, srs, path, layerDescription("sources"));
        for (OGRLayerH layer : {samples, sources}) {
            addField(layer, "e", OFTInteger, path);
            addField(layer, "name", OFTString, path);
            addField(layer, "segment", OFTInteger64, path);
            addField(layer, "lon", OFTReal, path);
            addField(layer, "lat", OFTReal, path);
        }
        // The samples' statistics: "he" always, then every other column any
        // entire simulation has a value of, in the order first met. A column
        // without any value (a statistic of another data type, NA
        // throughout) is left out.
        const auto anyValue = [&](const std::string& column) {
            for (const auto& entire : entireSimulations)
                for (const NamedPoint& p : entire.samples)
                    if (p.statistics.count(column) != 0) return true;
            return false;
        };
        std::vector<std::string> statistics{"he"};
        for (const auto& entire : entireSimulations)
            for (const auto& column : entire.statisticsColumns)
                if (std::find(statistics.begin(), statistics.end(), column) == statistics.end() && anyValue(column))
                    statistics.push_back(column);
        for (const auto& entire : entireSimulations)
            for (const NamedPoint& p : entire.samples)
                for (const auto& [column, value] : p.statistics)
                    if (std::find(statistics.begin(), statistics.end(), column) == statistics.end())
                        statistics.push_back(column);
        for (const auto& column : statistics) addField(samples, column.c_str(), OFTReal, path);
        OSRDestroySpatialReference(srs);

        if (GDALDatasetStartTransaction(ds, FALSE) != OGRERR_NONE) fail(path, "a transaction");
        for (const auto& entire : entireSimulations) {
            for (const SegmentRow& s : entire.segments) {
                OGRFeatureH f = OGR_F_Create(OGR_L_GetLayerDefn(segments));
                OGR_F_SetFieldInteger(f, 0, entire.entire);
                // The field of a column of the segments table (field 0 is "e").
                using Column = common::SegmentsColumn;
                const auto field = [](std::size_t column) { return 1 + static_cast<int>(column); };
                const auto whole = [&](std::size_t column, std::optional<long> value) {
                    if (value)
                        OGR_F_SetFieldInteger64(f, field(column), *value);
                    else
                        OGR_F_SetFieldNull(f, field(column));
                };
                const auto real = [&](std::size_t column, std::optional<double> value) {
                    if (value)
                        OGR_F_SetFieldDouble(f, field(column), *value);
                    else
                        OGR_F_SetFieldNull(f, field(column));
                };
                whole(Column::segment, s.id);
                whole(Column::fromNode, s.fromNode);
                whole(Column::toNode, s.toNode);
                real(Column::length, s.length);
                real(Column::lon, s.lon);
                real(Column::lat, s.lat);
                real(Column::fromLon, s.fromLon);
                real(Column::fromLat, s.fromLat);
                real(Column::toLon, s.toLon);
                real(Column::toLat, s.toLat);
                whole(Column::firstOccupied, s.firstOccupied);
                whole(Column::firstAtCapacity, s.firstAtCapacity);
                whole(Column::finalSize, s.finalSize);
                whole(Column::coalescences, s.coalescences);
                real(Column::coalescencesPerKm, s.coalescencesPerKm);
                OGR_F_SetFieldString(f, field(Column::sources), s.sources.c_str());
                OGR_F_SetFieldString(f, field(Column::samples), s.samples.c_str());
                whole(Column::firstClosed, s.firstClosed);
                OGR_F_SetFieldInteger(f, field(Column::closedAtEnd), s.closedAtEnd ? 1 : 0);
                OGRGeometryH line = OGR_G_CreateGeometry(wkbLineString);
                OGR_G_AddPoint_2D(line, s.fromLon, s.fromLat);
                OGR_G_AddPoint_2D(line, s.toLon, s.toLat);
                OGR_F_SetGeometryDirectly(f, line);
                addFeature(segments, f, path);
            }
            for (const auto& [layer, points] :
                 {std::pair{samples, &entire.samples}, std::pair{sources, &entire.sources}})
                for (const NamedPoint& p : *points) {
                    OGRFeatureH f = OGR_F_Create(OGR_L_GetLayerDefn(layer));
                    OGR_F_SetFieldInteger(f, 0, entire.entire);
                    OGR_F_SetFieldString(f, 1, p.name.c_str());
                    OGR_F_SetFieldInteger64(f, 2, p.segment);
                    OGR_F_SetFieldDouble(f, 3, p.lon);
                    OGR_F_SetFieldDouble(f, 4, p.lat);
                    if (layer == samples)
                        for (std::size_t k = 0; k < statistics.size(); ++k) {
                            const int field = 5 + static_cast<int>(k);
                            const auto it = p.statistics.find(statistics[k]);
                            if (k == 0 && p.diversity)
                                OGR_F_SetFieldDouble(f, field, *p.diversity);
                            else if (it != p.statistics.end())
                                OGR_F_SetFieldDouble(f, field, it->second);
                            else
                                OGR_F_SetFieldNull(f, field);
                        }
                    OGRGeometryH point = OGR_G_CreateGeometry(wkbPoint);
                    OGR_G_SetPoint_2D(point, 0, p.lon, p.lat);
                    OGR_F_SetGeometryDirectly(f, point);
                    addFeature(layer, f, path);
                }
        }
        if (GDALDatasetCommitTransaction(ds) != OGRERR_NONE) fail(path, "the commit");

        // The styles span the data as the PNG maps do: the generations of
        // first occupation, the samples' gene diversity.
        long firstGeneration = std::numeric_limits<long>::max(), lastGeneration = 0;
        double lowDiversity = std::numeric_limits<double>::max(), highDiversity = 0;
        for (const auto& entire : entireSimulations) {
            for (const SegmentRow& s : entire.segments)
                if (s.firstOccupied) {
                    firstGeneration = std::min(firstGeneration, *s.firstOccupied);
                    lastGeneration = std::max(lastGeneration, *s.firstOccupied);
                }
            for (const NamedPoint& p : entire.samples)
                if (p.diversity) {
                    lowDiversity = std::min(lowDiversity, *p.diversity);
                    highDiversity = std::max(highDiversity, *p.diversity);
                }
        }
        if (firstGeneration > lastGeneration) firstGeneration = lastGeneration = 0;
        if (lowDiversity > highDiversity) lowDiversity = highDiversity = 0;
        describeFields(ds, {{"segments", segments}, {"samples", samples}, {"sources", sources}}, path);
        const auto fields = [](OGRLayerH layer) {
            std::vector<std::string> names;
            OGRFeatureDefnH definition = OGR_L_GetLayerDefn(layer);
            for (int k = 0; k < OGR_FD_GetFieldCount(definition); ++k)
                names.push_back(OGR_Fld_GetNameRef(OGR_FD_GetFieldDefn(definition, k)));
            return names;
        };
        addStyles(ds,
                  {{"segments", segmentsStyle(fields(segments), firstGeneration, lastGeneration)},
                   {"samples", samplesStyle(fields(samples), lowDiversity, highDiversity)},
                   {"sources", sourcesStyle(fields(sources))}},
                  path);
    }
}

}  // namespace map
