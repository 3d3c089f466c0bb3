"""The look of the three map types: Mapnik style sheets over the prepared data (mapdata.py).

"roadmap": a political map: sea, countries in six pastel colours (neighbours differ),
lakes, national borders, capitals from level 3 of the tile files on (those of more than a
million people first). "satellite": the Blue Marble image. "hybrid": the image with coast
lines, borders and capital names over it.
"""

from xml.sax.saxutils import quoteattr

import mapnik

MERCATOR = ("+proj=merc +a=6378137 +b=6378137 +lat_ts=0 +lon_0=0 +x_0=0 +y_0=0 +k=1 "
            "+units=m +nadgrids=@null +wktext +no_defs")
FONT_FOLDER = "/usr/share/fonts/truetype/dejavu"

SEA = "#aad3df"
COUNTRY_COLOURS = ["#efe0b9", "#d5e8c4", "#f4cdbf", "#dcd3ea", "#f0eaa8", "#e8d0e2"]
# (coast, lake shore, border, capital text, capital halo) on the map and on the image
INK = {False: ("#7a9fb0", "#6f9fb5", "#8e6f8e", "#3a2a3a", "#ffffff"),
       True: ("#dfeef5", "#dfeef5", "#ffe27a", "#ffffff", "#303030")}

# Scale denominator of level z for 256-pixel tiles (OGC's 0.28 mm pixel).
LEVEL0_SCALE = 559082264.028


def scales(min_z=None, max_z=None):
    """The scale limits of a rule that applies from level min_z to level max_z."""
    text = ""
    if min_z is not None:
        text += "<MaxScaleDenominator>%f</MaxScaleDenominator>" % (
            LEVEL0_SCALE / 2 ** min_z * 1.01)
    if max_z is not None:
        text += "<MinScaleDenominator>%f</MinScaleDenominator>" % (
            LEVEL0_SCALE / 2 ** max_z * 0.99)
    return text


def rule(body, condition=None, min_z=None, max_z=None):
    where = "<Filter>%s</Filter>" % condition.replace("<", "&lt;") if condition else ""
    return "<Rule>%s%s%s</Rule>" % (where, scales(min_z, max_z), body)


def line(colour, width, dashes=None, opacity=1.0):
    extra = ' stroke-dasharray="%s"' % dashes if dashes else ""
    return '<LineSymbolizer stroke="%s" stroke-width="%g" stroke-opacity="%g"%s/>' % (
        colour, width, opacity, extra)


def capital(size, fill, halo, bold):
    face = "DejaVu Sans Bold" if bold else "DejaVu Sans Book"
    dot = size // 2 - 1
    return ('<MarkersSymbolizer fill="%s" stroke="%s" stroke-width="1" width="%d" height="%d" '
            'allow-overlap="true"/>'
            '<TextSymbolizer face-name="%s" size="%d" fill="%s" halo-fill="%s" '
            'halo-radius="1.2" dy="-%d" avoid-edges="true">[name]</TextSymbolizer>') % (
                fill, halo, dot, dot, face, size, fill, halo, size - 2)


def layer(name, style, datasource):
    params = "".join("<Parameter name=%s>%s</Parameter>" % (quoteattr(k), v)
                     for k, v in datasource.items())
    return ('<Layer name="%s" srs="%s"><StyleName>%s</StyleName><Datasource>%s</Datasource>'
            '</Layer>') % (name, MERCATOR, style, params)


def shape(path):
    return {"type": "shape", "file": path, "encoding": "utf-8"}


def lines_and_capitals(data, light):
    coast, shore, border, text, halo = INK[light]
    big = "[population] >= 1000000"
    styles = {
        "coast": rule(line(coast, 0.5, opacity=0.8), max_z=2) +
                 rule(line(coast, 0.8, opacity=0.8), min_z=3),
        "lake-shores": rule(line(shore, 0.5, opacity=0.8), min_z=3),
        "borders": rule(line(border, 0.6), max_z=2) +
                   rule(line(border, 1.0, dashes="4,2"), min_z=3),
        "capitals": rule(capital(10, text, halo, True), big, min_z=3, max_z=4) +
                    rule(capital(11, text, halo, True), big, min_z=5) +
                    rule(capital(10, text, halo, False), "[population] < 1000000", min_z=5),
    }
    layers = [layer("coast", "coast", shape(data.countries)),
              layer("lake-shores", "lake-shores", shape(data.lake_shores)),
              layer("borders", "borders", shape(data.borders)),
              layer("capitals", "capitals", shape(data.capitals))]
    return styles, layers


def roadmap(data):
    fills = "".join(rule('<PolygonSymbolizer fill="%s"/>' % colour, "[colour] = %d" % index)
                    for index, colour in enumerate(COUNTRY_COLOURS))
    styles = {"countries": fills,
              "lakes": rule('<PolygonSymbolizer fill="%s"/>' % SEA, min_z=2)}
    layers = [layer("countries", "countries", shape(data.countries)),
              layer("lakes", "lakes", shape(data.lakes))]
    more_styles, more_layers = lines_and_capitals(data, light=False)
    styles.update(more_styles)
    return SEA, styles, layers + more_layers


def satellite(data):
    styles = {"image": rule('<RasterSymbolizer scaling="bilinear"/>')}
    layers = [layer("image", "image", {"type": "gdal", "file": data.satellite})]
    return "#02050f", styles, layers


def hybrid(data):
    background, styles, layers = satellite(data)
    more_styles, more_layers = lines_and_capitals(data, light=True)
    styles.update(more_styles)
    return background, styles, layers + more_layers


BUILDERS = {"roadmap": roadmap, "satellite": satellite, "hybrid": hybrid}


def style_sheet(kind, data):
    background, styles, layers = BUILDERS[kind](data)
    body = "".join('<Style name="%s">%s</Style>' % (name, rules) for name, rules in styles.items())
    return ('<?xml version="1.0" encoding="utf-8"?><Map srs="%s" background-color="%s" '
            'buffer-size="128" font-directory="%s">%s%s</Map>') % (
                MERCATOR, background, FONT_FOLDER, body, "".join(layers))


def make_map(kind, data, size):
    """A Mapnik map of one kind, size x size pixels."""
    m = mapnik.Map(size, size)
    mapnik.load_map_from_string(m, style_sheet(kind, data))
    return m
