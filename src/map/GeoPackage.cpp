#include "map/GeoPackage.h"

#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace {

struct DatasetCloser {
    void operator()(void* dataset) const { GDALClose(dataset); }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

[[noreturn]] void fail(const std::string& path, const std::string& what) {
    const char* reason = CPLGetLastErrorMsg();
    throw MapError("'" + path + "' cannot be written: " + what + (reason && *reason ? std::string(": ") + reason : ""));
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
                      const std::string& path) {
    OGRLayerH layer = GDALDatasetCreateLayer(dataset, name, srs, type, nullptr);
    if (layer == nullptr) fail(path, std::string("layer ") + name);
    return layer;
}

}  // namespace

void writeGeoPackage(const std::string& path, const std::vector<GeoPackageEntire>& entireSimulations) {
    GDALAllRegister();
    GDALDriverH driver = GDALGetDriverByName("GPKG");
    if (driver == nullptr) throw MapError("'" + path + "' cannot be written: GDAL has no GeoPackage driver");
    // GDAL takes the format from the name: the unfinished file ends in ".gpkg" too.
    const std::string part = path + ".part.gpkg";
    std::error_code error;
    std::filesystem::remove(part, error);
    {
        Dataset dataset(GDALCreate(driver, part.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
        if (!dataset) fail(path, "GDAL cannot create it");
        OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
        OSRImportFromEPSG(srs, 4326);
        OSRSetAxisMappingStrategy(srs, OAMS_TRADITIONAL_GIS_ORDER);
        GDALDatasetH ds = dataset.get();

        OGRLayerH segments = createLayer(ds, "segments", wkbLineString, srs, path);
        addField(segments, "e", OFTInteger, path);
        const OGRFieldType types[] = {OFTInteger64, OFTInteger64, OFTInteger64, OFTReal,    OFTReal,   OFTReal,
                                      OFTReal,      OFTReal,      OFTReal,      OFTReal,    OFTInteger64, OFTInteger64,
                                      OFTInteger64, OFTInteger64, OFTReal,      OFTString,  OFTString};
        for (std::size_t k = 0; k < segmentColumns.size(); ++k) addField(segments, segmentColumns[k].c_str(), types[k], path);

        OGRLayerH samples = createLayer(ds, "samples", wkbPoint, srs, path);
        OGRLayerH sources = createLayer(ds, "sources", wkbPoint, srs, path);
        for (OGRLayerH layer : {samples, sources}) {
            addField(layer, "e", OFTInteger, path);
            addField(layer, "name", OFTString, path);
            addField(layer, "segment", OFTInteger64, path);
            addField(layer, "lon", OFTReal, path);
            addField(layer, "lat", OFTReal, path);
        }
        // The samples' statistics: "he" always, then every other column any
        // entire simulation has, in the order first met.
        std::vector<std::string> statistics{"he"};
        for (const auto& entire : entireSimulations)
            for (const auto& column : entire.statisticsColumns)
                if (std::find(statistics.begin(), statistics.end(), column) == statistics.end())
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
                const long whole[] = {s.id, s.fromNode, s.toNode};
                for (int k = 0; k < 3; ++k) OGR_F_SetFieldInteger64(f, 1 + k, whole[k]);
                const double real[] = {s.length, s.lon, s.lat, s.fromLon, s.fromLat, s.toLon, s.toLat};
                for (int k = 0; k < 7; ++k) OGR_F_SetFieldDouble(f, 4 + k, real[k]);
                if (s.firstOccupied) OGR_F_SetFieldInteger64(f, 11, *s.firstOccupied); else OGR_F_SetFieldNull(f, 11);
                if (s.firstAtCapacity) OGR_F_SetFieldInteger64(f, 12, *s.firstAtCapacity); else OGR_F_SetFieldNull(f, 12);
                OGR_F_SetFieldInteger64(f, 13, s.finalSize);
                OGR_F_SetFieldInteger64(f, 14, s.coalescences);
                if (s.coalescencesPerKm) OGR_F_SetFieldDouble(f, 15, *s.coalescencesPerKm); else OGR_F_SetFieldNull(f, 15);
                OGR_F_SetFieldString(f, 16, s.sources.c_str());
                OGR_F_SetFieldString(f, 17, s.samples.c_str());
                OGRGeometryH line = OGR_G_CreateGeometry(wkbLineString);
                OGR_G_AddPoint_2D(line, s.fromLon, s.fromLat);
                OGR_G_AddPoint_2D(line, s.toLon, s.toLat);
                OGR_F_SetGeometryDirectly(f, line);
                addFeature(segments, f, path);
            }
            for (const auto& [layer, points] : {std::pair{samples, &entire.samples}, std::pair{sources, &entire.sources}})
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
    }
    std::filesystem::rename(part, path, error);
    if (error) {
        std::filesystem::remove(part, error);
        throw MapError("'" + path + "' cannot be written: " + error.message());
    }
}
