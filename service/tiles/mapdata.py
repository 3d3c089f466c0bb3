"""The map data of the offline world map, prepared once from what Debian's packages ship.

- the satellite image: NASA's Blue Marble (marble-qt-data), georeferenced as the whole
  world in plate carree and reprojected to Web Mercator by GDAL;
- countries: the Digital Chart of the World polygons (gmt-dcw), dumped by GMT, repaired,
  simplified and clipped by GDAL/GEOS, coloured so that neighbours differ;
- lakes and national borders: GSHHG at intermediate resolution (gmt-gshhg-low), by GMT;
- capitals: the national capitals among the city placemarks of marble-qt-data.

Everything lands in Web Mercator (EPSG:3857) shapefiles and one GeoTIFF in the work folder;
each file is written under a temporary name and renamed when complete, so an interrupted
run redoes only what is missing.
"""

import math
import os
import shutil
import struct
import subprocess

from osgeo import gdal, ogr, osr

gdal.UseExceptions()
ogr.UseExceptions()

BLUE_MARBLE = "/usr/share/marble/data/maps/earth/bluemarble/bluemarble.jpg"
CITY_PLACEMARKS = "/usr/share/marble/data/placemarks/cityplacemarks.cache"
GSHHG_FOLDER = "/usr/share/gmt-gshhg"
DCW_FILE = "/usr/share/gmt-dcw/dcw-gmt.nc"
SOURCES = [BLUE_MARBLE, CITY_PLACEMARKS, GSHHG_FOLDER, DCW_FILE]

# Web Mercator's square world ends at this latitude.
MAX_LATITUDE = 85.0511287798
WORLD_HALF = 20037508.342789244
CONTINENTS = "=AF,=AN,=AS,=EU,=OC,=NA,=SA"
# Vertices closer than this (degrees, about 500 m) are merged: finer than a pixel at the
# deepest level made by default.
SIMPLIFY_DEGREES = 0.005
COLOURS = 6

ATTRIBUTION = """Offline world map of the Lumora local service.
Satellite: NASA Blue Marble (public domain), as shipped by Debian's marble-qt-data.
Countries: Digital Chart of the World polygons as prepared for GMT (gmt-dcw, by
  P. Wessel and J. Luis; LGPL).
Lakes and borders: GSHHG, the Global Self-consistent, Hierarchical, High-resolution
  Geography database (gmt-gshhg-low, P. Wessel and W. H. F. Smith; LGPL).
Capitals: city placemarks of the Marble virtual globe (marble-qt-data; CC BY 3.0).
Made with GMT, GDAL and Mapnik.
"""


class MissingData(Exception):
    """A source file of a Debian package is not installed."""


def check_sources():
    missing = [path for path in SOURCES if not os.path.exists(path)]
    if missing:
        raise MissingData("missing map data: " + ", ".join(missing) +
                          " (scripts/install-deps.sh installs the packages)")


def mercator():
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(3857)
    return srs


def geographic():
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(4326)
    srs.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    return srs


def world_box():
    ring = ogr.Geometry(ogr.wkbLinearRing)
    for lon, lat in ((-180, -MAX_LATITUDE), (180, -MAX_LATITUDE), (180, MAX_LATITUDE),
                     (-180, MAX_LATITUDE), (-180, -MAX_LATITUDE)):
        ring.AddPoint_2D(lon, lat)
    box = ogr.Geometry(ogr.wkbPolygon)
    box.AddGeometry(ring)
    return box


def satellite_raster(work, width):
    """Blue Marble in Web Mercator, width x width pixels (GDAL's gdalwarp)."""
    target = os.path.join(work, "satellite-%d.tif" % width)
    if os.path.exists(target):
        return target
    source = gdal.Translate("", BLUE_MARBLE, format="VRT", outputSRS="EPSG:4326",
                            outputBounds=[-180, 90, 180, -90])
    partial = target + ".part"
    gdal.Warp(partial, source, format="GTiff", dstSRS="EPSG:3857",
              outputBounds=[-WORLD_HALF, -WORLD_HALF, WORLD_HALF, WORLD_HALF],
              width=width, height=width, resampleAlg="cubic",
              creationOptions=["TILED=YES", "COMPRESS=DEFLATE"])
    os.replace(partial, target)
    return target


def gmt_segments(arguments, home):
    """The segments that "gmt coast ... -M" dumps: (header, WKT coordinate list) pairs.

    The coordinates stay text ("lon lat, lon lat, ...") for GDAL to parse: the country
    dump alone holds millions of points.
    """
    env = dict(os.environ, HOME=home, GMT_USERDIR=os.path.join(home, "gmt"))
    process = subprocess.Popen(["gmt", "coast", "-Rd"] + arguments + ["-M", "--GMT_HISTORY=false"],
                               env=env, cwd=home, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               text=True)
    header, points = None, []
    for line in process.stdout:
        if line.startswith(">"):
            if points:
                yield header, points
            header, points = line[1:].strip(), []
        elif line.strip():
            points.append(line.strip().replace("\t", " "))
    if points:
        yield header, points
    error = process.stderr.read()
    if process.wait() != 0:
        raise RuntimeError("gmt coast %s failed: %s" % (" ".join(arguments), error.strip()))


class ShapeWriter:
    """One Web Mercator shapefile, written under a temporary name and renamed at close."""

    def __init__(self, path, kind, fields=()):
        self.path = path
        self.partial = path[:-len(".shp")] + "-part.shp"
        self.driver = ogr.GetDriverByName("ESRI Shapefile")
        if os.path.exists(self.partial):
            self.driver.DeleteDataSource(self.partial)
        self.source = self.driver.CreateDataSource(self.partial)
        self.layer = self.source.CreateLayer("data", mercator(), kind, ["ENCODING=UTF-8"])
        for name, field_type in fields:
            self.layer.CreateField(ogr.FieldDefn(name, field_type))
        self.transform = osr.CoordinateTransformation(geographic(), mercator())
        self.box = world_box()

    def clip(self, geometry):
        """The geometry within the Mercator world; the parts of a multi-geometry one by one,
        since the parts of a country may overlap (which makes the whole invalid)."""
        kind = ogr.GT_Flatten(geometry.GetGeometryType())
        if kind not in (ogr.wkbMultiPolygon, ogr.wkbMultiLineString):
            return geometry.Intersection(self.box)
        clipped = ogr.Geometry(kind)
        single = ogr.wkbPolygon if kind == ogr.wkbMultiPolygon else ogr.wkbLineString
        for i in range(geometry.GetGeometryCount()):
            part = geometry.GetGeometryRef(i).Intersection(self.box)
            if part is None:
                continue
            for piece in [part] if ogr.GT_Flatten(part.GetGeometryType()) == single else [
                    part.GetGeometryRef(j) for j in range(part.GetGeometryCount())]:
                if ogr.GT_Flatten(piece.GetGeometryType()) == single and not piece.IsEmpty():
                    clipped.AddGeometry(piece)
        return clipped

    def add(self, geometry, **values):
        """Clips a geographic geometry to the Mercator world and adds it."""
        geometry = self.clip(geometry)
        if geometry is None or geometry.IsEmpty():
            return
        geometry.Transform(self.transform)
        feature = ogr.Feature(self.layer.GetLayerDefn())
        for name, value in values.items():
            feature.SetField(name, value)
        feature.SetGeometry(geometry)
        self.layer.CreateFeature(feature)

    def close(self):
        self.source = None
        base = self.partial[:-len(".shp")]
        target = self.path[:-len(".shp")]
        for extension in (".cpg", ".dbf", ".prj", ".shx", ".shp"):  # .shp last: it marks completion
            if os.path.exists(base + extension):
                os.replace(base + extension, target + extension)


def ring_polygon(points):
    closing = [] if points[0] == points[-1] else [points[0]]
    return ogr.CreateGeometryFromWkt("POLYGON ((" + ", ".join(points + closing) + "))")


def around_pole(points, jump):
    """A ring that goes once around a pole (Antarctica), cut open at the antimeridian and
    closed along it through the pole, so that it encloses the pole's side."""
    lon, lat = (float(v) for v in points[jump].split())
    next_lon, next_lat = (float(v) for v in points[jump + 1].split())
    pole = -90 if lat < 0 else 90
    edge = 180 if lon > 0 else -180
    bridge = ["%r %r" % (edge, lat), "%r %r" % (edge, pole), "%r %r" % (-edge, pole),
              "%r %r" % (-edge, next_lat)]
    return ring_polygon(points[:jump + 1] + bridge + points[jump + 1:])


def wrapped(geometry):
    """The geometry split at the antimeridian where it crosses it (GDAL's WRAPDATELINE)."""
    geo = geographic()
    transformer = ogr.GeomTransformer(osr.CoordinateTransformation(geo, geo),
                                      ["WRAPDATELINE=YES"])
    return transformer.Transform(geometry)


def country_ring(points):
    """A ring of a country's outline as a polygon drawable on a flat world map."""
    polygon = ring_polygon(points)
    west, east, _, _ = polygon.GetEnvelope()
    if east - west <= 180:
        return polygon
    lons = [float(p.split()[0]) for p in points]
    jumps = [i for i in range(len(lons) - 1) if abs(lons[i + 1] - lons[i]) > 180]
    if len(jumps) == 1:
        return around_pole(points, jumps[0])
    return wrapped(polygon)


def line_string(points):
    return ogr.CreateGeometryFromWkt("LINESTRING (" + ", ".join(points) + ")")


def polygons_of(geometry):
    """The polygons in a geometry that a repair may have turned into a collection."""
    kind = ogr.GT_Flatten(geometry.GetGeometryType())
    if kind == ogr.wkbPolygon:
        return [geometry]
    if kind in (ogr.wkbMultiPolygon, ogr.wkbGeometryCollection):
        found = []
        for i in range(geometry.GetGeometryCount()):
            found.extend(polygons_of(geometry.GetGeometryRef(i).Clone()))
        return found
    return []


def country_geometries(home):
    """Country name -> repaired, simplified multipolygon (geographic)."""
    countries = {}
    for header, points in gmt_segments(["-E" + CONTINENTS], home):
        if len(points) < 4:
            continue
        name = header.rsplit(" Segment", 1)[0].strip()
        simple = country_ring(points).SimplifyPreserveTopology(SIMPLIFY_DEGREES)
        if simple is None or simple.IsEmpty():
            continue
        parts = countries.setdefault(name, ogr.Geometry(ogr.wkbMultiPolygon))
        for polygon in polygons_of(simple.MakeValid()):
            parts.AddGeometry(polygon)
    return countries


def colour_countries(countries):
    """A colour index per country, different from every touching neighbour where six do."""
    names = sorted(countries, key=lambda n: -countries[n].GetArea())
    # Neighbourhood is judged on a coarse outline: exact shapes would cost minutes.
    coarse = {n: countries[n].Simplify(0.1) for n in names}
    envelopes = {n: countries[n].GetEnvelope() for n in names}
    colour = {}
    for name in names:
        west, east, south, north = envelopes[name]
        used = set()
        for other, index in colour.items():
            w, e, s, n = envelopes[other]
            if w > east + 0.1 or e < west - 0.1 or s > north + 0.1 or n < south - 0.1:
                continue
            if coarse[name].Distance(coarse[other]) < 0.2:
                used.add(index)
        free = [i for i in range(COLOURS) if i not in used]
        colour[name] = free[0] if free else len(colour) % COLOURS
    return colour


def countries_shapefile(work, home):
    target = os.path.join(work, "countries.shp")
    if os.path.exists(target):
        return target
    countries = country_geometries(home)
    colour = colour_countries(countries)
    writer = ShapeWriter(target, ogr.wkbMultiPolygon,
                         [("name", ogr.OFTString), ("colour", ogr.OFTInteger)])
    for name, parts in countries.items():
        writer.add(parts, name=name, colour=colour[name])
    writer.close()
    return target


def lakes_shapefiles(work, home):
    """GSHHG lake shores: closed rings as water polygons, every piece as a shore line."""
    polygons = os.path.join(work, "lakes.shp")
    lines = os.path.join(work, "lake-shores.shp")
    if os.path.exists(polygons) and os.path.exists(lines):
        return polygons, lines
    fill = ShapeWriter(polygons, ogr.wkbMultiPolygon)
    shore = ShapeWriter(lines, ogr.wkbMultiLineString)
    for _, points in gmt_segments(["-Di", "-W2/0.1p", "-A0/2/2"], home):
        if len(points) < 2:
            continue
        shore.add(line_string(points))
        if len(points) > 3 and points[0] == points[-1]:
            fill.add(ring_polygon(points).MakeValid())
    fill.close()
    shore.close()
    return polygons, lines


def borders_shapefile(work, home):
    target = os.path.join(work, "borders.shp")
    if os.path.exists(target):
        return target
    writer = ShapeWriter(target, ogr.wkbMultiLineString)
    for _, points in gmt_segments(["-Di", "-N1/0.1p"], home):
        if len(points) >= 2:
            writer.add(wrapped(line_string(points)))
    writer.close()
    return target


def capital_records(path=CITY_PLACEMARKS):
    """(name, longitude, latitude, population) of every national capital ("PPLC").

    The file is a Qt data stream (big-endian): a magic number and a version, then per
    place the name, longitude, latitude (radians) and altitude, the feature code, two
    optional texts around the country code, the area, the population and three bytes of
    time zone data. Texts are a byte length (0xffffffff: none) and UTF-16BE.
    """
    data = open(path, "rb").read()
    offset = 8

    def text():
        nonlocal offset
        (length,) = struct.unpack_from(">I", data, offset)
        offset += 4
        if length == 0xFFFFFFFF:
            return None
        value = data[offset:offset + length].decode("utf-16-be")
        offset += length
        return value

    def number(kind, size):
        nonlocal offset
        (value,) = struct.unpack_from(kind, data, offset)
        offset += size
        return value

    capitals = []
    while offset < len(data):
        name = text()
        lon, lat = number(">d", 8), number(">d", 8)
        number(">d", 8)  # altitude
        code = text()
        text()
        text()  # country code
        text()
        number(">d", 8)  # area
        population = number(">q", 8)
        offset += 3
        if code == "PPLC" and name:
            capitals.append((name, math.degrees(lon), math.degrees(lat), population))
    return capitals


def capitals_shapefile(work):
    target = os.path.join(work, "capitals.shp")
    if os.path.exists(target):
        return target
    writer = ShapeWriter(target, ogr.wkbPoint,
                         [("name", ogr.OFTString), ("population", ogr.OFTInteger64)])
    for name, lon, lat, population in capital_records():
        point = ogr.Geometry(ogr.wkbPoint)
        point.AddPoint_2D(lon, lat)
        writer.add(point, name=name, population=population)
    writer.close()
    return target


class MapData:
    """Paths of the prepared data, made on first use."""

    def __init__(self, work, satellite_width):
        check_sources()
        os.makedirs(work, exist_ok=True)
        home = os.path.join(work, "gmt-home")
        os.makedirs(home, exist_ok=True)
        self.satellite = satellite_raster(work, satellite_width)
        self.countries = countries_shapefile(work, home)
        self.lakes, self.lake_shores = lakes_shapefiles(work, home)
        self.borders = borders_shapefile(work, home)
        self.capitals = capitals_shapefile(work)
        shutil.rmtree(home, ignore_errors=True)
