#!/usr/bin/env bash
# Writes the State Plane zone tables (geo/geo_state_plane_tables.inc) from the EPSG dataset that
# Debian's proj-data package installs as an SQLite database, so the program needs no PROJ at run
# time. Usage: tools/geo/make_state_planes.sh [proj.db] > geo/geo_state_plane_tables.inc
#
# Every zone keeps its published parameters, converted to meters and decimal degrees. False
# easting and northing given in US survey feet become meters rounded to 0.1 mm; the NAD83 Lambert
# angles are rounded to six decimals, all other angles to eight. The two standard parallels are
# stored south first, whatever order the dataset lists them in. A few NAD27 zones (Michigan, Puerto
# Rico, St. Croix) left the EPSG register but keep their codes in the ESRI register of the same
# database; their definitions are taken from there.
set -euo pipefail

db="${1:-/usr/share/proj/proj.db}"
[[ -r "$db" ]] || { echo "ERROR: cannot read '$db'" >&2; exit 1; }
command -v sqlite3 > /dev/null || { echo "ERROR: sqlite3 is needed" >&2; exit 1; }

nad27_lcc="AK_10 26740 AR_N 26751 AR_S 26752 CA_I 26741 CA_II 26742 CA_III 26743 CA_IV 26744
CA_V 26745 CA_VI 26746 CA_VII 26747 CO_N 26753 CO_C 26754 CO_S 26755 CT 26756 FL_N 26760
IA_N 26775 IA_S 26776 KS_N 26777 KS_S 26778 KY_N 26779 KY_S 26780 LA_N 26781 LA_S 26782 MD 26785
MA_M 26786 MA_I 26787 MI_N 26788 MI_C 26789 MI_S 26790 MN_N 26791 MN_C 26792 MN_S 26793
MT_N 32001 MT_C 32002 MT_S 32003 NE_N 32005 NE_S 32006 NY_LI 32018 NC 32019 ND_N 32020
ND_S 32021 OH_N 32022 OH_S 32023 OK_N 32024 OK_S 32025 OR_N 32026 OR_S 32027 PA_N 32028
PA_S 32029 PR 32059 St.Croix 32060 SC_N 32031 SC_S 32033 SD_N 32034 SD_S 32035 TN 2204
TX_N 32037 TX_NC 32038 TX_C 32039 TX_SC 32040 TX_S 32041 UT_N 32042 UT_C 32043 UT_S 32044
VA_N 32046 VA_S 32047 WA_N 32048 WA_S 32049 WV_N 32050 WV_S 32051 WI_N 32052 WI_C 32053
WI_S 32054"

nad83_lcc="AK_10 26940 AR_N 26951 AR_S 26952 CA_I 26941 CA_II 26942 CA_III 26943 CA_IV 26944
CA_V 26945 CA_VI 26946 CO_N 26953 CO_C 26954 CO_S 26955 CT 26956 FL_N 26960 IA_N 26975
IA_S 26976 KS_N 26977 KS_S 26978 KY_N 2205 KY_S 26980 LA_N 26981 LA_S 26982 MD 26985
MA_M 26986 MA_I 26987 MI_N 26988 MI_C 26989 MI_S 26990 MN_N 26991 MN_C 26992 MN_S 26993
MT 32100 NE 32104 NY_LI 32118 NC 32119 ND_N 32120 ND_S 32121 OH_N 32122 OH_S 32123 OK_N 32124
OK_S 32125 OR_N 32126 OR_S 32127 PA_N 32128 PA_S 32129 PR 32161 SC 32133 SD_N 32134 SD_S 32135
TN 32136 TX_N 32137 TX_NC 32138 TX_C 32139 TX_SC 32140 TX_S 32141 UT_N 32142 UT_C 32143
UT_S 32144 VA_N 32146 VA_S 32147 WA_N 32148 WA_S 32149 WV_N 32150 WV_S 32151 WI_N 32152
WI_C 32153 WI_S 32154"

nad27_tm="AL_E 26729 AL_W 26730 AK_2 26732 AK_3 26733 AK_4 26734 AK_5 26735 AK_6 26736
AK_7 26737 AK_8 26738 AK_9 26739 AZ_E 26748 AZ_C 26749 AZ_W 26750 DE 26757 FL_E 26758
FL_W 26759 GA_E 26766 GA_W 26767 HI_1 26761 HI_2 26762 HI_3 26763 HI_4 26764 HI_5 26765
ID_E 26768 ID_C 26769 ID_W 26770 IL_E 26771 IL_W 26772 IN_E 26773 IN_W 26774 ME_E 26783
ME_W 26784 MS_E 26794 MS_W 26795 MO_E 26796 MO_C 26797 MO_W 26798 NV_E 32007 NV_C 32008
NV_W 32009 NH 32010 NJ 32011 NM_E 32012 NM_C 32013 NM_W 32014 NY_E 32015 NY_C 32016
NY_W 32017 RI 32030 VT 32045 WY_E 32055 WY_EC 32056 WY_WC 32057 WY_W 32058"

# The NAD83 Transverse Mercator zones carry the NAD27 names; their codes lie 200 (267xx) or
# 100 (320xx) above the NAD27 ones.
nad83_tm=$(echo $nad27_tm | awk '{
  for (i = 1; i < NF; i += 2) printf "%s %d ", $i, $(i + 1) + ($(i + 1) < 30000 ? 200 : 100)
}')

# Prints "order|name|code|register|method|value|unit|..." for the zones of a list, in list order; a zone
# missing from the dataset gives a row with an empty method.
query() {
  local values
  values=$(echo $1 | awk '{
    for (i = 1; i < NF; i += 2) printf "%s(%d,\x27%s\x27,%d)", (i > 1 ? "," : ""), i, $i, $(i + 1)
  }')
  sqlite3 -separator '|' "$db" "
    WITH zone(ord, name, code) AS (VALUES $values)
    SELECT z.ord, z.name, z.code, p.auth_name, c.method_code,
           c.param1_code, c.param1_value, c.param1_uom_code,
           c.param2_code, c.param2_value, c.param2_uom_code,
           c.param3_code, c.param3_value, c.param3_uom_code,
           c.param4_code, c.param4_value, c.param4_uom_code,
           c.param5_code, c.param5_value, c.param5_uom_code,
           c.param6_code, c.param6_value, c.param6_uom_code
    FROM zone z
    LEFT JOIN projected_crs p ON p.code = z.code AND p.auth_name =
        (SELECT q.auth_name FROM projected_crs q
         WHERE q.code = z.code AND q.auth_name IN ('EPSG', 'ESRI')
         ORDER BY q.auth_name = 'EPSG' DESC LIMIT 1)
    LEFT JOIN conversion_table c ON c.auth_name = p.conversion_auth_name
                                AND c.code = p.conversion_code
    ORDER BY z.ord;"
}

# Turns the rows of query() into C++ initializers. lambert=1 expects EPSG method 9802 (Lambert
# Conic Conformal 2SP), lambert=0 method 9807 (Transverse Mercator); digits is the angle rounding.
emit() {
  awk -F'|' -v lambert="$1" -v digits="$2" -v expected="$3" '
    function fail(msg) { print "ERROR: " msg > "/dev/stderr"; failed = 1; exit 1 }
    # Text of a number without trailing zeros, so the table reads like the published values.
    function num(v, d,   s) {
      s = sprintf("%." d "f", v)
      if (s ~ /\./) { sub(/0+$/, "", s); sub(/\.$/, "", s) }
      if (s == "-0") s = "0"
      return s
    }
    # Sexagesimal DDD.MMSSsss, read from its text so no binary fraction creeps into the digits.
    function sexagesimal(t,   sign, parts, frac) {
      sign = 1
      if (substr(t, 1, 1) == "-") { sign = -1; t = substr(t, 2) }
      split(t, parts, ".")
      frac = parts[2] "0000"
      return sign * (parts[1] + substr(frac, 1, 2) / 60 + (substr(frac, 3, 2) "." substr(frac, 5)) / 3600)
    }
    function angle(v, unit) {
      if (unit == 9110) return sexagesimal(v)
      if (unit == 9102) return v + 0
      fail("angle unit " unit " in zone " name)
    }
    function length_m(v, unit) {
      if (unit == 9001) return v + 0
      if (unit == 9003) return v * 1200 / 3937
      if (unit == 9002) return v * 0.3048
      fail("length unit " unit " in zone " name)
    }
    {
      name = $2; code = $3
      if ($5 == "") fail("EPSG code " code " of zone " name " is not in the dataset")
      if ($5 != (lambert ? 9802 : 9807)) fail("EPSG code " code " of zone " name " uses method " $5)
      delete value
      for (i = 6; i + 2 <= NF; i += 3) {
        if ($i == "") continue
        if ($i == 8805) value[$i] = $(i + 1)  # the scale factor stays as published
        else if ($i == 8806 || $i == 8807 || $i == 8826 || $i == 8827) value[$i] = length_m($(i + 1), $(i + 2))
        else value[$i] = angle($(i + 1), $(i + 2))
      }
      if (lambert) {
        p1 = value[8823]; p2 = value[8824]
        if (p1 > p2) { t = p1; p1 = p2; p2 = t }
        printf "    {%d, \"%s\", %s, %s, %s, %s, %s, %s},\n", code, name, num(value[8826], 4),
               num(value[8827], 4), num(value[8821], digits), num(value[8822], digits),
               num(p1, digits), num(p2, digits)
      } else {
        printf "    {%d, \"%s\", %s, %s, %s, %s, %s},\n", code, name, num(value[8806], 4),
               num(value[8807], 4), num(value[8801], digits), num(value[8802], digits),
               num(value[8805], 10)
      }
      rows++
    }
    END { if (!failed && rows != expected) { print "ERROR: " rows " zones, expected " expected > "/dev/stderr"; exit 1 } }'
}

table() {  # name, type, list, lambert, digits, expected size
  echo "constexpr $2 $1[] = {"
  query "$3" | emit "$4" "$5" "$6"
  echo "};"
}

cat <<HEADER
// Generated by tools/geo/make_state_planes.sh from the EPSG dataset; do not edit.
// Rows: EPSG code, zone name, false easting and northing [m], latitude of origin and central
// meridian [degrees], then the standard parallels (Lambert) or the scale factor (TM).
HEADER
table kStatePlanesNad27Lcc StatePlaneLcc "$nad27_lcc" 1 8 73
table kStatePlanesNad83Lcc StatePlaneLcc "$nad83_lcc" 1 6 67
table kStatePlanesNad27Tm StatePlaneTm "$nad27_tm" 0 8 54
table kStatePlanesNad83Tm StatePlaneTm "$nad83_tm" 0 8 54
echo "// Zones whose codes left the EPSG register."
echo "constexpr uint16_t kStatePlanesOutsideEpsg[] = {"
query "$nad27_lcc $nad83_lcc $nad27_tm $nad83_tm" | awk -F'|' '$4 != "EPSG" { printf "    %d,\n", $3 }'
echo "};"
