# The code map of the test program, for the climb watch (climbs.h): from
# the linker's map, each code range of an object of ours with the source it
# was compiled from; from nm -n, the functions in the library's ranges.
#   r START SIZE own|shared SOURCE  (a function shared by several objects,
#                                    kept from this one, is "shared")
#   f ADDRESS NAME
#   a ADDRESS                      (an action's descriptor, ROOT_..._action)
# Addresses are as linked, in hex as the tools print them. Usage:
#   nm -n -C --defined-only PROGRAM | awk -f code_map.awk PROGRAM.map -
function source_of(object,   prefix, rest) {
  # A CMake object: [subdir/]CMakeFiles/<target>.dir/<source>.o, paths from
  # the build directory; archive members and system objects are not ours.
  if (object !~ /CMakeFiles\/[^\/]+\.dir\/.*\.o$/ || object ~ /\(/) return ""
  prefix = object
  sub(/CMakeFiles\/.*$/, "", prefix)
  while (sub(/[^\/]+\/\.\.\//, "", prefix)) {}
  rest = object
  sub(/^.*CMakeFiles\/[^\/]+\.dir\//, "", rest)
  sub(/\.o$/, "", rest)
  return prefix rest
}
function own_section(name) { return name ~ /^\.text(\.(unlikely|hot|startup|exit))?$/ }
function add_range(name, address, size, object,   source, start, test) {
  source = source_of(object)
  start = strtonum_hex(address)
  if (source == "" || strtonum_hex(size) == 0) return
  # Of the tests' own code only its place is needed: who a test stands for.
  test = source ~ /^tests\//
  if (test && !own_section(name)) return
  print "r", address, size, own_section(name) ? "own" : "shared", source
  if (test) return
  ++ranges
  starts[ranges] = start
  ends[ranges] = start + strtonum_hex(size)
}
# mawk has no strtonum, and prints no hex past 32 bits: the texts are
# printed as read, and read as numbers by hand (exact up to 2^53) only to
# be compared.
function strtonum_hex(text,   i, c, n) {
  sub(/^0x/, "", text)
  n = 0
  for (i = 1; i <= length(text); ++i) {
    c = index("0123456789abcdef", tolower(substr(text, i, 1)))
    n = n * 16 + c - 1
  }
  return n
}
BEGIN { at = 1 }
FNR == NR {
  if (/^\.text[ \t]/ || $0 == ".text") { in_text = 1; next }
  if (in_text && /^\.[A-Za-z_]/) { in_text = 0 }
  if (!in_text) next
  if (pending != "") {
    if ($1 ~ /^0x/ && $2 ~ /^0x/ && NF >= 3) add_range(pending, $1, $2, $3)
    pending = ""
    next
  }
  if (/^ \.text/) {
    if (NF >= 4) add_range($1, $2, $3, $4)
    else if (NF == 1) pending = $1
  }
  next
}
# nm: ADDRESS TYPE NAME..., sorted by address like the ranges.
NF == 3 && $2 ~ /^[DdRr]$/ && $3 ~ /^ROOT_.*_action$/ { print "a", $1; next }
NF >= 3 && $2 ~ /^[tTwW]$/ {
  address = strtonum_hex($1)
  while (at <= ranges && ends[at] <= address) ++at
  if (at > ranges || address < starts[at]) next
  name = $0
  sub(/^[^ ]+ [^ ]+ /, "", name)
  print "f", $1, name
}
