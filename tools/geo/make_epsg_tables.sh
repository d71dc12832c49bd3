#!/bin/sh
# Writes the EPSG parameter files geo/data/pcs.csv, gcs.csv and vertcs.csv from the EPSG dataset
# that PROJ ships as an SQLite database (Debian package proj-data), so the program itself needs no
# PROJ at run time. Usage: tools/geo/make_epsg_tables.sh [proj.db [output folder]]
#
# Line formats (code first, comma-separated, names in double quotes):
#   pcs.csv     code,"name",unit,gcs,operation,method,param1,value1,unit1,param2,value2,unit2,...
#               Parameter groups are written for the methods the converter builds (9801, 9802, 9807,
#               9809, 9812, 9815, 9822, Mercator 9804, 9805 and 1024, LAEA 9820, polar stereographic
#               9810 and 9829); other methods end after a 0 so their lines still scan.
#   gcs.csv     code,"name",datum,"datum name",prime meridian,coordinate system,ellipsoid
#   vertcs.csv  code,"name",datum,unit,coordinate system
#   datums.csv  datum,"name",source
#               Every name of a geodetic datum: its EPSG name (source "name") and its aliases by their
#               source (ESRI's, with their D_ prefix, are the names .prj readers know).
#   towgs84.csv datum,transformation,"name",accuracy,tx,ty,tz,rx,ry,rz,scale,px,py,pz,south,north,west,east
#               The Helmert transformations of a datum to WGS 84 (EPSG:4326), neither deprecated nor
#               superseded by another Helmert transformation: shifts and
#               the pivot in meters, rotations in arc-seconds of the position vector convention (the
#               coordinate frame ones turned round), the scale difference in ppm, an empty accuracy
#               when unknown, and the area of use in degrees (west > east across the antimeridian).
set -eu
db=${1:-/usr/share/proj/proj.db}
out=${2:-$(dirname "$0")/../../geo/data}
[ -r "$db" ] || { echo "cannot read $db (install proj-data)" >&2; exit 1; }
command -v sqlite3 >/dev/null || { echo "sqlite3 is needed" >&2; exit 1; }
mkdir -p "$out"

q() { sqlite3 -batch -noheader "$db" "$1"; }

# Quotes inside names become single quotes so a quoted field never ends early.
name_sql='char(34) || replace(%s, char(34), char(39)) || char(34)'

groups=""
for i in 2 3 4 5 6 7; do
  groups="$groups || coalesce(',' || c.param${i}_code || ',' || c.param${i}_value || ',' || c.param${i}_uom_code, '')"
done

pname=$(printf "$name_sql" p.name)
q "SELECT p.code || ',' || $pname || ',' || a.uom_code || ',' || p.geodetic_crs_code || ',' ||
          p.conversion_code || ',' || c.method_code || ',' ||
          CASE WHEN c.method_code IN ('1024','9801','9802','9804','9805','9807','9809','9810','9812','9815','9820','9822','9829')
               THEN c.param1_code || ',' || c.param1_value || ',' || c.param1_uom_code $groups
               ELSE '0' END
     FROM projected_crs p
     JOIN conversion_table c ON c.auth_name = p.conversion_auth_name AND c.code = p.conversion_code
     JOIN axis a ON a.coordinate_system_auth_name = p.coordinate_system_auth_name
                AND a.coordinate_system_code = p.coordinate_system_code AND a.coordinate_system_order = 1
    WHERE p.auth_name = 'EPSG' AND p.geodetic_crs_auth_name = 'EPSG' AND CAST(p.code AS INTEGER) <= 32767
    ORDER BY CAST(p.code AS INTEGER);" >"$out/pcs.csv"

gname=$(printf "$name_sql" g.name)
# Datum names in the underscore form the WKT writer puts after its D_ prefix.
dname=$(printf "$name_sql" "replace(replace(replace(replace(replace(d.name, ' ', '_'), '(', ''), ')', ''), '-', '_'), '/', '_')")
q "SELECT g.code || ',' || $gname || ',' || d.code || ',' || $dname || ',' ||
          d.prime_meridian_code || ',' || g.coordinate_system_code || ',' || d.ellipsoid_code
     FROM geodetic_crs g
     JOIN geodetic_datum d ON d.auth_name = g.datum_auth_name AND d.code = g.datum_code
    WHERE g.auth_name = 'EPSG' AND g.type IN ('geographic 2D', 'geographic 3D')
    ORDER BY CAST(g.code AS INTEGER);" >"$out/gcs.csv"

vname=$(printf "$name_sql" v.name)
q "SELECT v.code || ',' || $vname || ',' || v.datum_code || ',' || a.uom_code || ',' || v.coordinate_system_code
     FROM vertical_crs v
     JOIN axis a ON a.coordinate_system_auth_name = v.coordinate_system_auth_name
                AND a.coordinate_system_code = v.coordinate_system_code AND a.coordinate_system_order = 1
    WHERE v.auth_name = 'EPSG'
    ORDER BY CAST(v.code AS INTEGER);" >"$out/vertcs.csv"

q "SELECT d.code || ',' || $(printf "$name_sql" d.name) || ',name' FROM geodetic_datum d
    WHERE d.auth_name = 'EPSG'
   UNION ALL
   SELECT a.code || ',' || $(printf "$name_sql" a.alt_name) || ',' || coalesce(a.source, '')
     FROM alias_name a
    WHERE a.table_name = 'geodetic_datum' AND a.auth_name = 'EPSG'
    ORDER BY 1;" >"$out/datums.csv"

# Unit codes: translations 9001 m, 1025 mm; rotations 9104 arc-second, 9101 radian, 9109
# microradian, 9113 centesimal second, 1031 milli-arc-second; scale 9202 ppm, 1028 ppb.
q "SELECT g.datum_code || ',' || h.code || ',' || $(printf "$name_sql" h.name) || ',' ||
          coalesce(h.accuracy, '') || ',' ||
          (h.tx * t.f) || ',' || (h.ty * t.f) || ',' || (h.tz * t.f) || ',' ||
          (coalesce(h.rx, 0) * r.f * s.sign) || ',' || (coalesce(h.ry, 0) * r.f * s.sign) || ',' ||
          (coalesce(h.rz, 0) * r.f * s.sign) || ',' || (coalesce(h.scale_difference, 0) * d.f) || ',' ||
          coalesce(h.px, 0) || ',' || coalesce(h.py, 0) || ',' || coalesce(h.pz, 0) || ',' ||
          e.south_lat || ',' || e.north_lat || ',' || e.west_lon || ',' || e.east_lon
     FROM helmert_transformation_table h
     JOIN geodetic_crs g ON g.auth_name = h.source_crs_auth_name AND g.code = h.source_crs_code
     JOIN usage u ON u.object_table_name = 'helmert_transformation' AND u.object_auth_name = h.auth_name
                 AND u.object_code = h.code
     JOIN extent e ON e.auth_name = u.extent_auth_name AND e.code = u.extent_code
     JOIN (SELECT '9001' AS c, 1.0 AS f UNION ALL SELECT '1025', 0.001) t ON t.c = CAST(h.translation_uom_code AS TEXT)
     JOIN (SELECT '' AS c, 0.0 AS f UNION ALL SELECT '9104', 1.0 UNION ALL SELECT '9101', 206264.80624709636
           UNION ALL SELECT '9109', 0.20626480624709636 UNION ALL SELECT '9113', 0.324
           UNION ALL SELECT '1031', 0.001) r ON r.c = coalesce(CAST(h.rotation_uom_code AS TEXT), '')
     JOIN (SELECT '' AS c, 0.0 AS f UNION ALL SELECT '9202', 1.0 UNION ALL SELECT '1028', 0.001) d
          ON d.c = coalesce(CAST(h.scale_difference_uom_code AS TEXT), '')
     JOIN (SELECT '9603' AS m, 1 AS sign UNION ALL SELECT '9606', 1 UNION ALL SELECT '1063', 1
           UNION ALL SELECT '9607', -1 UNION ALL SELECT '9636', -1) s ON s.m = CAST(h.method_code AS TEXT)
    WHERE h.auth_name = 'EPSG' AND h.deprecated = 0 AND g.auth_name = 'EPSG'
      AND h.target_crs_auth_name = 'EPSG' AND h.target_crs_code = '4326'
      AND (h.pivot_uom_code IS NULL OR h.pivot_uom_code = '9001')
      AND NOT EXISTS (SELECT 1 FROM supersession ss
                       WHERE ss.superseded_table_name = 'helmert_transformation'
                         AND ss.superseded_auth_name = h.auth_name AND ss.superseded_code = h.code
                         AND ss.replacement_table_name = 'helmert_transformation')
    ORDER BY CAST(g.datum_code AS INTEGER), CAST(h.code AS INTEGER);" >"$out/towgs84.csv"

wc -l "$out/pcs.csv" "$out/gcs.csv" "$out/vertcs.csv" "$out/towgs84.csv" "$out/datums.csv" >&2
