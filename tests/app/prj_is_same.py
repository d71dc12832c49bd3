"""Answers, for each argument FILE.prj=CODE, whether GDAL reads FILE.prj as the same coordinate
system as EPSG:CODE. A .prj states no axis order (Shapefiles are easting, northing), so the EPSG
definition is compared without its axes; that is how a GIS opening the Shapefile sees both.
Prints one line per file, "same" or "different: <what GDAL read>"; exits 2 when GDAL's Python
bindings (Debian package python3-gdal) are missing."""
import re
import sys

try:
    from osgeo import osr
except ImportError:
    print("python3-gdal is missing")
    sys.exit(2)

osr.UseExceptions()
criteria = ["IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES", "CRITERION=EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS"]
for argument in sys.argv[1:]:
    path, code = argument.rsplit("=", 1)
    with open(path) as prj:
        text = prj.read()
    written = osr.SpatialReference()
    written.SetFromUserInput(text)
    epsg = osr.SpatialReference()
    epsg.ImportFromEPSG(int(code))
    reference = osr.SpatialReference()
    reference.SetFromUserInput(re.sub(r',AXIS\["[^"]*",[A-Z]+\]', "", epsg.ExportToWkt()))
    same = written.IsSame(reference, criteria)
    print(f"{path} " + ("same" if same else "different: " + written.ExportToProj4()))
