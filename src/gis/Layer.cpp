#include "gis/Layer.h"

#include <cpl_error.h>
#include <gdal.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <sstream>

#include "gis/Network.h"

namespace gis {

namespace {

// GDAL's messages are taken into ours instead of being printed.
struct QuietGdal {
    QuietGdal() {
        static const bool registered = [] {
            GDALAllRegister();
            return true;
        }();
        (void)registered;
        CPLPushErrorHandler(CPLQuietErrorHandler);
        CPLErrorReset();
    }
    ~QuietGdal() { CPLPopErrorHandler(); }
    QuietGdal(const QuietGdal&) = delete;
    QuietGdal& operator=(const QuietGdal&) = delete;
};

// GDAL's last message on one line, in brackets; empty when it has none.
std::string gdalMessage() {
    std::string message = CPLGetLastErrorMsg();
    for (char& c : message)
        if (c == '\n' || c == '\r') c = ' ';
    while (!message.empty() && message.back() == ' ') message.pop_back();
    return message.empty() ? "" : " (" + message + ")";
}

struct Closer {
    void operator()(GDALDataset* dataset) const { GDALClose(dataset); }
};
using Dataset = std::unique_ptr<GDALDataset, Closer>;

struct TransformDeleter {
    void operator()(OGRCoordinateTransformation* t) const { OGRCoordinateTransformation::DestroyCT(t); }
};

Dataset open(const std::string& path) {
    GDALDataset* dataset = GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY);
    if (dataset == nullptr) {
        // GDAL also opens virtual paths (/vsizip/...) and connection strings
        // (PG:...), which are no files.
        std::error_code error;
        if (path.rfind("/vsi", 0) != 0 && path.find(':') == std::string::npos && !std::filesystem::exists(path, error))
            throw ImportError("'" + path + "' does not exist");
        throw ImportError("'" + path + "' cannot be opened as vector data" + gdalMessage());
    }
    return Dataset(dataset);
}

std::string layerNames(GDALDataset& dataset) {
    std::string names;
    for (int i = 0; i < dataset.GetLayerCount(); ++i)
        names += (i > 0 ? ", '" : "'") + std::string(dataset.GetLayer(i)->GetName()) + "'";
    return names.empty() ? "none" : names;
}

OGRLayer& chooseLayer(GDALDataset& dataset, const LayerRequest& request) {
    OGRLayer* layer = nullptr;
    if (request.layer.empty()) {
        if (dataset.GetLayerCount() != 1)
            throw ImportError("'" + request.path + "' holds " + std::to_string(dataset.GetLayerCount()) +
                              " layers: choose one by name (" + layerNames(dataset) + ")");
        layer = dataset.GetLayer(0);
    } else {
        layer = dataset.GetLayerByName(request.layer.c_str());
        if (layer == nullptr)
            throw ImportError("'" + request.path + "' has no layer '" + request.layer +
                              "' (its layers: " + layerNames(dataset) + ")");
    }
    if (!request.where.empty() && layer->SetAttributeFilter(request.where.c_str()) != OGRERR_NONE)
        throw ImportError("layer '" + std::string(layer->GetName()) + "' of '" + request.path + "': the filter '" +
                          request.where + "' is not understood" + gdalMessage());
    return *layer;
}

// A GeoPackage says "no coordinate system" with the reserved srs_id 0
// (undefined geographic) or -1 (undefined Cartesian). GDAL hands the first
// to the caller as a geographic system, which would take any coordinates as
// WGS84 degrees.
bool undefinedInGeoPackage(GDALDataset& dataset, OGRLayer& layer) {
    if (dataset.GetDriver() == nullptr || std::string(dataset.GetDriver()->GetDescription()) != "GPKG") return false;
    std::string table = layer.GetName();
    std::string quoted;
    for (char c : table) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    OGRLayer* rows = dataset.ExecuteSQL(
        ("SELECT srs_id FROM gpkg_geometry_columns WHERE table_name = '" + quoted + "'").c_str(), nullptr, nullptr);
    if (rows == nullptr) return false;
    bool undefined = false;
    for (auto& row : *rows) {
        const int srs = row->GetFieldAsInteger(0);
        if (srs == 0 || srs == -1) undefined = true;
    }
    dataset.ReleaseResultSet(rows);
    return undefined;
}

// From the layer's coordinate system to WGS84, longitude first on both sides.
std::unique_ptr<OGRCoordinateTransformation, TransformDeleter> toWgs84(GDALDataset& dataset, OGRLayer& layer,
                                                                       const LayerRequest& request, std::string& name) {
    const OGRSpatialReference* source = layer.GetSpatialRef();
    if (source == nullptr || undefinedInGeoPackage(dataset, layer))
        throw ImportError("layer '" + std::string(layer.GetName()) + "' of '" + request.path +
                          "' has no coordinate system (give it one, e.g. with ogr2ogr -a_srs)");
    OGRSpatialReference from(*source);
    from.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    OGRSpatialReference wgs84;
    wgs84.SetWellKnownGeogCS("WGS84");
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    const char* authority = from.GetAuthorityName(nullptr);
    const char* code = from.GetAuthorityCode(nullptr);
    name = std::string(from.GetName() != nullptr ? from.GetName() : "unnamed");
    if (authority != nullptr && code != nullptr) name = std::string(authority) + ":" + code + " " + name;
    std::unique_ptr<OGRCoordinateTransformation, TransformDeleter> transform(
        OGRCreateCoordinateTransformation(&from, &wgs84));
    if (!transform)
        throw ImportError("layer '" + std::string(layer.GetName()) + "' of '" + request.path +
                          "': its coordinate system cannot be turned into WGS84" + gdalMessage());
    return transform;
}

std::string featureName(OGRLayer& layer, const LayerRequest& request, const OGRFeature& feature) {
    return "layer '" + std::string(layer.GetName()) + "' of '" + request.path + "', feature " +
           std::to_string(feature.GetFID());
}

Polyline points(const OGRLineString& line) {
    Polyline result;
    for (int i = 0; i < line.getNumPoints(); ++i) result.push_back({line.getX(i), line.getY(i)});
    return result;
}

// Longitude and latitude in range; anything else means a coordinate system
// that does not fit the coordinates.
bool onEarth(double lon, double lat) {
    return std::isfinite(lon) && std::isfinite(lat) && std::abs(lon) <= 360 && std::abs(lat) <= 90;
}

bool onEarth(const Polyline& line) {
    for (const auto& p : line)
        if (!onEarth(p.lon, p.lat)) return false;
    return true;
}

}  // namespace

LineLayer readLineLayer(const LayerRequest& request) {
    const QuietGdal quiet;
    Dataset dataset = open(request.path);
    OGRLayer& layer = chooseLayer(*dataset, request);
    LineLayer result;
    result.layerName = layer.GetName();
    auto transform = toWgs84(*dataset, layer, request, result.coordinateSystem);
    layer.ResetReading();
    for (auto& feature : layer) {
        const OGRGeometry* geometry = feature->GetGeometryRef();
        if (geometry == nullptr || geometry->IsEmpty()) {
            ++result.otherGeometries;
            continue;
        }
        std::unique_ptr<OGRGeometry> linear(geometry->hasCurveGeometry() ? geometry->getLinearGeometry()
                                                                         : geometry->clone());
        std::vector<const OGRLineString*> parts;
        const auto type = wkbFlatten(linear->getGeometryType());
        if (type == wkbLineString || type == wkbLinearRing) {
            parts.push_back(linear->toLineString());
        } else if (type == wkbMultiLineString || type == wkbGeometryCollection) {
            for (const OGRGeometry* part : *linear->toGeometryCollection())
                if (wkbFlatten(part->getGeometryType()) == wkbLineString) parts.push_back(part->toLineString());
        }
        if (parts.empty()) {
            ++result.otherGeometries;
            continue;
        }
        ++result.features;
        if (parts.size() > 1) result.multiParts += static_cast<int>(parts.size());
        for (const OGRLineString* part : parts) {
            std::unique_ptr<OGRLineString> copy(part->clone());
            if (copy->transform(transform.get()) != OGRERR_NONE)
                throw ImportError(featureName(layer, request, *feature) + ": a point cannot be turned into WGS84" +
                                  gdalMessage());
            Polyline line = points(*copy);
            if (!onEarth(line))
                throw ImportError(featureName(layer, request, *feature) +
                                  ": a point lies off the earth in WGS84 (is the layer's coordinate system right?)");
            result.lines.push_back(std::move(line));
        }
    }
    if (result.lines.empty()) {
        std::ostringstream text;
        text << "layer '" << result.layerName << "' of '" << request.path << "' holds no line geometries";
        if (result.otherGeometries > 0) text << " (" << result.otherGeometries << " features of other kinds)";
        if (!request.where.empty()) text << " that pass the filter '" << request.where << "'";
        throw ImportError(text.str());
    }
    return result;
}

std::vector<PointFeature> readPointLayer(const LayerRequest& request, const std::string& nameField,
                                         const std::string& sizeField) {
    const QuietGdal quiet;
    Dataset dataset = open(request.path);
    OGRLayer& layer = chooseLayer(*dataset, request);
    std::string crs;
    auto transform = toWgs84(*dataset, layer, request, crs);
    const OGRFeatureDefn* definition = layer.GetLayerDefn();
    for (const std::string& field : {nameField, sizeField})
        if (definition->GetFieldIndex(field.c_str()) < 0) {
            std::string fields;
            for (int i = 0; i < definition->GetFieldCount(); ++i)
                fields += (i > 0 ? ", '" : "'") + std::string(definition->GetFieldDefn(i)->GetNameRef()) + "'";
            throw ImportError("layer '" + std::string(layer.GetName()) + "' of '" + request.path + "' has no field '" +
                              field + "' (its fields: " + (fields.empty() ? "none" : fields) + ")");
        }
    std::vector<PointFeature> result;
    layer.ResetReading();
    for (auto& feature : layer) {
        const OGRGeometry* geometry = feature->GetGeometryRef();
        if (geometry == nullptr || wkbFlatten(geometry->getGeometryType()) != wkbPoint || geometry->IsEmpty())
            throw ImportError(featureName(layer, request, *feature) + ": not a point");
        PointFeature point;
        std::string name = feature->GetFieldAsString(nameField.c_str());
        for (char& c : name)
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') c = '_';
        if (name.empty()) throw ImportError(featureName(layer, request, *feature) + ": the name is empty");
        point.name = name;
        const std::string size = feature->GetFieldAsString(sizeField.c_str());
        std::size_t used = 0;
        const int index = feature->GetFieldIndex(sizeField.c_str());
        if (feature->GetFieldDefnRef(index)->GetType() == OFTReal) {
            // A whole number stored as a real (10.0) is that number.
            const double value = feature->GetFieldAsDouble(index);
            if (feature->IsFieldSetAndNotNull(index) && std::abs(value) < 1e15 && value == std::floor(value)) {
                point.size = static_cast<long long>(value);
                used = size.size();
            }
        } else {
            try {
                point.size = std::stoll(size, &used);
            } catch (const std::exception&) {
                used = 0;
            }
        }
        if (used == 0 || used != size.size())
            throw ImportError(featureName(layer, request, *feature) + ": the size '" + size +
                              "' is not a whole number");
        std::unique_ptr<OGRPoint> copy(geometry->toPoint()->clone());
        if (copy->transform(transform.get()) != OGRERR_NONE || !onEarth(copy->getX(), copy->getY()))
            throw ImportError(featureName(layer, request, *feature) + ": the point cannot be turned into WGS84" +
                              gdalMessage());
        point.where = {copy->getX(), copy->getY()};
        result.push_back(std::move(point));
    }
    if (result.empty())
        throw ImportError("layer '" + std::string(layer.GetName()) + "' of '" + request.path + "' holds no point");
    return result;
}

}  // namespace gis
