#include "engine/postgres/functions.h"

#include <memory>
#include <mutex>
#include <set>

#include "engine/codepage.h"
#include "engine/last_error.h"
#include "engine/postgres/session.h"
#include "engine/schema.h"
#include "engine/sql_functions.h"
#include "engine/text_functions.h"

namespace engine::postgres {

namespace {

// Named after the functions' version: a change to any of them takes a new name, so that a
// database made by an earlier build gets them again.
constexpr const char* kMarker = "velda_functions_3";

std::string utf8Of(unsigned char byte) {
    return codepage::toUtf8(std::string(1, static_cast<char>(byte)), codepage::CodePage::Ansi1252);
}

// The letters of one case and their partners, as translate() takes them.
std::string caseFunction(const char* name, char (*map)(char)) {
    std::string from, to;
    for (int b = 1; b < 256; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        const auto mapped = static_cast<unsigned char>(map(static_cast<char>(byte)));
        if (mapped == byte) continue;
        from += utf8Of(byte);
        to += utf8Of(mapped);
    }
    return std::string("CREATE OR REPLACE FUNCTION ") + name +
           "(t text) RETURNS text LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $f$SELECT "
           "translate(t, " +
           quoteText(from) + ", " + quoteText(to) + ")$f$;";
}

std::string chrFunction() {
    std::string list;
    for (int b = 1; b < 256; ++b)
        list += (b > 1 ? "," : "") + quoteText(utf8Of(static_cast<unsigned char>(b)));
    return "CREATE OR REPLACE FUNCTION velda_chr(code float8) RETURNS text LANGUAGE sql IMMUTABLE "
           "STRICT PARALLEL SAFE AS $f$SELECT CASE WHEN code >= 1 AND code <= 255 THEN "
           "(ARRAY[" +
           list + "]::text[])[trunc(code)::int] ELSE '' END$f$;";
}

// The functions that need no table of the engine's, in the order they call each other.
constexpr const char* kFixedSql = R"sql(
CREATE OR REPLACE FUNCTION velda_left(t text, n float8) RETURNS text
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $f$
SELECT CASE WHEN n <= 0 THEN '' ELSE left(t, least(trunc(n), 2147483647)::int) END$f$;

CREATE OR REPLACE FUNCTION velda_right(t text, n float8) RETURNS text
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $f$
SELECT CASE WHEN n <= 0 THEN '' ELSE right(t, least(trunc(n), 2147483647)::int) END$f$;

CREATE OR REPLACE FUNCTION velda_substr(t text, start float8) RETURNS text
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $f$
SELECT substr(t, least(greatest(trunc(start), 1), 2147483647)::int)$f$;

CREATE OR REPLACE FUNCTION velda_substr(t text, start float8, count float8) RETURNS text
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $f$
SELECT substr(t, least(greatest(trunc(start), 1), 2147483647)::int,
              least(greatest(trunc(count), 0), 2147483647)::int)$f$;

CREATE OR REPLACE FUNCTION velda_val(t text) RETURNS float8
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $f$
DECLARE
  s text := substring(t from '^[ \t\n\r\f\v]*([-+]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][-+]?[0-9]+)?)');
BEGIN
  IF s IS NULL THEN RETURN 0; END IF;
  RETURN s::float8;
EXCEPTION WHEN others THEN
  -- Beyond the range of a double: as SQLite reads it, infinite or 0.
  IF s ~ '[eE]-' THEN RETURN 0; END IF;
  RETURN CASE WHEN s LIKE '-%' THEN '-Infinity'::float8 ELSE 'Infinity'::float8 END;
END$f$;

CREATE OR REPLACE FUNCTION velda_str(v float8, len float8, decimals float8) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $f$
DECLARE
  l bigint := least(greatest(trunc(coalesce(len, 0)), -1000), 1000)::bigint;
  d bigint := least(greatest(trunc(coalesce(decimals, 0)), -1000), 1000)::bigint;
  b bigint;
  e int;
  m numeric;
  num numeric;
  den numeric;
  q numeric;
  r numeric;
  txt text;
BEGIN
  v := coalesce(v, 0);
  l := least(greatest(l, 1), 255);
  d := least(greatest(d, 0), 15);
  IF d > 0 AND d >= l - 1 THEN d := greatest(0, l - 2); END IF;
  IF v = 'Infinity'::float8 OR v = '-Infinity'::float8 OR v = 'NaN'::float8 THEN
    RETURN repeat('*', l::int);
  END IF;
  -- The exact value of the double, m * 2^e, times 10^d, rounded half to even, as printf does.
  b := ('x' || encode(float8send(v), 'hex'))::bit(64)::bigint;
  e := ((b >> 52) & 2047)::int;
  m := (b & 4503599627370495)::numeric;
  IF e = 0 THEN e := 1; ELSE m := m + 4503599627370496; END IF;
  e := e - 1075;
  IF e >= 0 THEN
    num := trunc(m * power(2::numeric, e) * power(10::numeric, d));
    den := 1;
  ELSE
    num := trunc(m * power(5::numeric, -e) * power(10::numeric, d));
    den := trunc(power(10::numeric, -e));
  END IF;
  q := div(num, den);
  r := num - q * den;
  IF 2 * r > den OR (2 * r = den AND mod(q, 2) = 1) THEN q := q + 1; END IF;
  txt := trunc(q)::text;
  IF d > 0 THEN
    IF length(txt) <= d THEN txt := repeat('0', (d + 1 - length(txt))::int) || txt; END IF;
    txt := left(txt, length(txt) - d::int) || '.' || right(txt, d::int);
  END IF;
  IF b < 0 THEN txt := '-' || txt; END IF;
  IF length(txt) > l THEN RETURN repeat('*', l::int); END IF;
  RETURN lpad(txt, l::int, ' ');
END$f$;

CREATE OR REPLACE FUNCTION velda_ctod(t text, format text) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $f$
DECLARE
  letters text[] := '{}';
  widths int[] := '{}';
  vals text[] := '{}';
  separated boolean := false;
  ch text;
  pc text;
  w int;
  i int := 1;
  n int;
  grp text := '';
  tr text;
  pos int := 1;
  y bigint := 0;
  mo bigint := 0;
  dd bigint := 0;
  v bigint;
BEGIN
  t := coalesce(t, '');
  format := coalesce(format, '');
  IF rtrim(t, ' ') = '' THEN RETURN ''; END IF;
  n := length(format);
  WHILE i <= n LOOP
    ch := upper(substr(format, i, 1));
    IF ch = 'C' THEN ch := 'Y'; END IF;
    IF ch NOT IN ('D', 'M', 'Y') THEN
      separated := true;
      i := i + 1;
      CONTINUE;
    END IF;
    w := 0;
    LOOP
      EXIT WHEN i > n;
      pc := upper(substr(format, i, 1));
      IF pc = 'C' THEN pc := 'Y'; END IF;
      EXIT WHEN pc <> ch;
      w := w + 1;
      i := i + 1;
    END LOOP;
    letters := letters || ch;
    widths := widths || w;
  END LOOP;
  IF coalesce(array_length(letters, 1), 0) <> 3 THEN RETURN ''; END IF;
  FOR p IN 1..3 LOOP
    IF widths[p] > 4 OR (letters[p] <> 'Y' AND widths[p] > 2) THEN RETURN ''; END IF;
    IF letters[p] = ANY(letters[1:p - 1]) THEN RETURN ''; END IF;
  END LOOP;
  IF separated THEN
    -- Groups of digits in the order of the format's parts; any other character separates.
    FOR k IN 1..length(t) LOOP
      ch := substr(t, k, 1);
      IF ascii(ch) BETWEEN 48 AND 57 THEN
        grp := grp || ch;
      ELSIF ch <> ' ' OR grp <> '' THEN
        IF grp = '' THEN RETURN ''; END IF;
        vals := vals || grp;
        grp := '';
      END IF;
    END LOOP;
    IF grp <> '' THEN vals := vals || grp; END IF;
  ELSE
    -- Fixed positions: "YYYYMMDD" and the like.
    tr := ltrim(t, ' ');
    FOR p IN 1..3 LOOP
      IF pos - 1 + widths[p] > length(tr) THEN RETURN ''; END IF;
      IF substr(tr, pos, widths[p]) !~ '^[0-9]+$' THEN RETURN ''; END IF;
      vals := vals || substr(tr, pos, widths[p]);
      pos := pos + widths[p];
    END LOOP;
  END IF;
  IF coalesce(array_length(vals, 1), 0) <> 3 THEN RETURN ''; END IF;
  FOR p IN 1..3 LOOP
    IF length(vals[p]) > 4 THEN RETURN ''; END IF;
    v := vals[p]::bigint;
    IF letters[p] = 'Y' THEN
      y := CASE WHEN length(vals[p]) <= 2 THEN 1900 + v ELSE v END;
    ELSIF letters[p] = 'M' THEN
      mo := v;
    ELSE
      dd := v;
    END IF;
  END LOOP;
  IF y < 1 OR y > 9999 OR mo < 1 OR mo > 12 OR dd < 1 OR dd > 31 THEN RETURN ''; END IF;
  IF dd > extract(day FROM make_date(y::int, mo::int, 1) + interval '1 month' - interval '1 day')
  THEN
    RETURN '';
  END IF;
  RETURN lpad(y::text, 4, '0') || '-' || lpad(mo::text, 2, '0') || '-' || lpad(dd::text, 2, '0');
END$f$;

CREATE OR REPLACE FUNCTION velda_stod(t text) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $f$
SELECT CASE WHEN rtrim(coalesce(t, ''), ' ') = '' THEN '' ELSE velda_ctod(t, 'YYYYMMDD') END$f$;

CREATE OR REPLACE FUNCTION velda_ctot(t text) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $f$
DECLARE
  s text := btrim(coalesce(t, ''), ' ');
  shift int := -1;
  parts int[] := '{0,0,0,0}';
  digits int[] := '{0,0,0,0}';
  cnt int := 1;
  n int;
  c text;
BEGIN
  -- A 12-hour clock's AM or PM at the end.
  IF length(s) >= 2 AND upper(right(s, 1)) = 'M' AND upper(substr(s, length(s) - 1, 1)) IN ('A', 'P')
  THEN
    shift := CASE WHEN upper(substr(s, length(s) - 1, 1)) = 'P' THEN 12 ELSE 0 END;
    s := rtrim(left(s, length(s) - 2), ' ');
  END IF;
  -- Hours, minutes, seconds and the fraction, separated by ':', ':' and '.'.
  n := length(s);
  FOR i IN 1..n + 1 LOOP
    c := CASE WHEN i > n THEN ' ' ELSE substr(s, i, 1) END;
    IF i <= n AND ascii(c) BETWEEN 48 AND 57 THEN
      digits[cnt] := digits[cnt] + 1;
      IF digits[cnt] > 3 THEN RETURN ''; END IF;
      parts[cnt] := parts[cnt] * 10 + ascii(c) - 48;
      CONTINUE;
    END IF;
    IF NOT (i > n OR (c = ':' AND cnt < 3) OR (c = '.' AND cnt = 3)) OR digits[cnt] = 0 THEN
      RETURN '';
    END IF;
    cnt := cnt + 1;
  END LOOP;
  IF cnt - 1 < 2 THEN RETURN ''; END IF;
  IF digits[4] = 1 THEN parts[4] := parts[4] * 100; END IF;
  IF digits[4] = 2 THEN parts[4] := parts[4] * 10; END IF;
  IF shift >= 0 THEN
    IF parts[1] < 1 OR parts[1] > 12 THEN RETURN ''; END IF;
    parts[1] := parts[1] % 12 + shift;
  END IF;
  IF parts[1] > 23 OR parts[2] > 59 OR parts[3] > 59 THEN RETURN ''; END IF;
  RETURN lpad(parts[1]::text, 2, '0') || ':' || lpad(parts[2]::text, 2, '0') || ':' ||
         lpad(parts[3]::text, 2, '0') || '.' || lpad(parts[4]::text, 3, '0');
END$f$;

CREATE OR REPLACE FUNCTION velda_ctots(t text, format text) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $f$
DECLARE
  s text := ltrim(coalesce(t, ''), ' ');
  sp int;
  d text;
  rest text;
  tm text;
BEGIN
  IF s = '' THEN RETURN ''; END IF;
  sp := strpos(s, ' ');
  d := velda_ctod(CASE WHEN sp = 0 THEN s ELSE left(s, sp - 1) END, format);
  IF d = '' THEN RETURN ''; END IF;
  rest := CASE WHEN sp = 0 THEN '' ELSE substr(s, sp) END;
  IF rtrim(rest, ' ') = '' THEN RETURN d || ' 00:00:00.000'; END IF;
  tm := velda_ctot(rest);
  RETURN CASE WHEN tm = '' THEN '' ELSE d || ' ' || tm END;
END$f$;

CREATE OR REPLACE FUNCTION velda_year(d text) RETURNS bigint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $f$
SELECT CASE WHEN d ~ '^[0-9]{4}-.{2}-.{2}' THEN substr(d, 1, 4)::bigint ELSE 0 END$f$;

CREATE OR REPLACE FUNCTION velda_month(d text) RETURNS bigint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $f$
SELECT CASE WHEN d ~ '^.{4}-[0-9]{2}-.{2}' THEN substr(d, 6, 2)::bigint ELSE 0 END$f$;

CREATE OR REPLACE FUNCTION velda_dayofmonth(d text) RETURNS bigint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $f$
SELECT CASE WHEN d ~ '^.{4}-.{2}-[0-9]{2}' THEN substr(d, 9, 2)::bigint ELSE 0 END$f$;

CREATE OR REPLACE FUNCTION velda_sql_year(d text) RETURNS bigint
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $f$
SELECT CASE WHEN d ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}' THEN substr(d, 1, 4)::bigint END$f$;

CREATE OR REPLACE FUNCTION velda_sql_month(d text) RETURNS bigint
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $f$
SELECT CASE WHEN d ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}' THEN substr(d, 6, 2)::bigint END$f$;

CREATE OR REPLACE FUNCTION velda_sql_dayofmonth(d text) RETURNS bigint
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $f$
SELECT CASE WHEN d ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}' THEN substr(d, 9, 2)::bigint END$f$;

CREATE OR REPLACE FUNCTION velda_cast_int(x float8) RETURNS bigint
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $f$
SELECT CASE WHEN x = x AND abs(x) < 9.2e18 THEN trunc(x)::bigint ELSE 0 END$f$;

CREATE OR REPLACE FUNCTION velda_cast_int(x bigint) RETURNS bigint
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $f$SELECT x$f$;

CREATE OR REPLACE FUNCTION velda_cast_int(x text) RETURNS bigint
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $f$SELECT velda_cast_int(velda_val(x))$f$;

CREATE OR REPLACE FUNCTION velda_bool_eq(a boolean, b bigint) RETURNS boolean
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $f$SELECT a::int = b$f$;

CREATE OR REPLACE FUNCTION velda_bool_ne(a boolean, b bigint) RETURNS boolean
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $f$SELECT a::int <> b$f$;

CREATE OR REPLACE FUNCTION velda_bool_eq(a bigint, b boolean) RETURNS boolean
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $f$SELECT a = b::int$f$;

CREATE OR REPLACE FUNCTION velda_bool_ne(a bigint, b boolean) RETURNS boolean
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $f$SELECT a <> b::int$f$;

DO $d$
DECLARE
  op record;
BEGIN
  FOR op IN SELECT * FROM (VALUES ('=', 'boolean', 'bigint', 'velda_bool_eq'),
                                  ('<>', 'boolean', 'bigint', 'velda_bool_ne'),
                                  ('=', 'bigint', 'boolean', 'velda_bool_eq'),
                                  ('<>', 'bigint', 'boolean', 'velda_bool_ne'))
                           AS o(name, l, r, fn) LOOP
    IF NOT EXISTS (SELECT 1 FROM pg_operator WHERE oprname = op.name
                   AND oprleft = op.l::regtype AND oprright = op.r::regtype) THEN
      EXECUTE format('CREATE OPERATOR %s (LEFTARG = %s, RIGHTARG = %s, FUNCTION = %s)',
                     op.name, op.l, op.r, op.fn);
    END IF;
  END LOOP;
END$d$;

CREATE OR REPLACE FUNCTION velda_curdate() RETURNS text
LANGUAGE sql STABLE PARALLEL SAFE AS $f$
SELECT to_char(localtimestamp, 'YYYY-MM-DD')$f$;

CREATE OR REPLACE FUNCTION velda_now() RETURNS text
LANGUAGE sql STABLE PARALLEL SAFE AS $f$
SELECT to_char(localtimestamp, 'YYYY-MM-DD HH24:MI:SS.MS')$f$;

CREATE OR REPLACE FUNCTION velda_round(x float8) RETURNS float8
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $f$
SELECT CASE WHEN x = x AND abs(x) < 'Infinity' THEN round(x::numeric)::float8 ELSE x END$f$;

CREATE OR REPLACE FUNCTION velda_round(x float8, n float8) RETURNS float8
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $f$
SELECT CASE WHEN x = x AND abs(x) < 'Infinity'
            THEN round(x::numeric, least(greatest(trunc(n), 0), 30)::int)::float8 ELSE x END$f$;

CREATE OR REPLACE FUNCTION velda_date_add(d text, n float8) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $f$
DECLARE
  r date;
BEGIN
  IF d IS NULL OR n IS NULL OR d !~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}$' OR NOT abs(n) < 5000000 THEN
    RETURN '';
  END IF;
  r := make_date(substr(d, 1, 4)::int, substr(d, 6, 2)::int, substr(d, 9, 2)::int)
       + floor(n)::int;
  IF extract(year FROM r) < 1 OR extract(year FROM r) > 9999 THEN RETURN ''; END IF;
  RETURN to_char(r, 'YYYY-MM-DD');
EXCEPTION WHEN others THEN
  RETURN '';
END$f$;

CREATE OR REPLACE FUNCTION velda_date_diff(a text, b text) RETURNS bigint
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $f$
BEGIN
  IF a !~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}$' OR b !~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}$'
     OR a IS NULL OR b IS NULL THEN
    RETURN 0;
  END IF;
  RETURN make_date(substr(a, 1, 4)::int, substr(a, 6, 2)::int, substr(a, 9, 2)::int)
         - make_date(substr(b, 1, 4)::int, substr(b, 6, 2)::int, substr(b, 9, 2)::int);
EXCEPTION WHEN others THEN
  RETURN 0;
END$f$;
)sql";

struct Ready {
    std::mutex mutex;
    std::set<std::string> databases;
};

Ready& ready() {
    static Ready r;
    return r;
}

struct CloseSqlite {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};

}  // namespace

std::string functionsSql() {
    return std::string(kFixedSql) + caseFunction("velda_upper", text::upper1252) + "\n" +
           caseFunction("velda_lower", text::lower1252) + "\n" + chrFunction() + "\n" +
           "CREATE OR REPLACE FUNCTION " + kMarker +
           "() RETURNS integer LANGUAGE sql IMMUTABLE AS $f$SELECT 1$f$;\n";
}

const char* functionsMarker() {
    return kMarker;
}

UNSIGNED32 ensureFunctions(Session& session, const std::string& doing, const std::string& what) {
    {
        std::lock_guard lock(ready().mutex);
        if (ready().databases.count(session.where())) return AE_SUCCESS;
    }
    Result there =
        session.exec(std::string("SELECT 1 FROM pg_proc WHERE proname='") + kMarker + "'");
    if (!there.ok()) return session.failure(there, doing, what);
    if (there.rows() == 0) {
        // Made in a transaction of their own, or within the one open (an engine transaction),
        // under a lock so that two sessions never replace them at once.
        const bool own = !session.inTransaction();
        std::string sql = std::string(own ? "BEGIN;" : "") +
                          "SELECT pg_advisory_xact_lock(1986, 2);" + functionsSql() +
                          (own ? "COMMIT" : "");
        Result made = session.exec(sql);
        if (!made.ok()) {
            UNSIGNED32 rc = session.failure(made, doing, what);
            if (own && session.inTransaction()) (void)session.exec("ROLLBACK");
            return rc;
        }
        if (!own) return AE_SUCCESS;  // kept only if the transaction is
    }
    std::lock_guard lock(ready().mutex);
    ready().databases.insert(session.where());
    return AE_SUCCESS;
}

sqlite3* foldingConnection() {
    thread_local std::unique_ptr<sqlite3, CloseSqlite> db;
    if (db) return db.get();
    sqlite3* opened = nullptr;
    int rc =
        sqlite3_open_v2(":memory:", &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<sqlite3, CloseSqlite> made(opened);
    if (rc != SQLITE_OK || sqlfunctions::registerAll(opened) != SQLITE_OK) {
        (void)fail(AE_INTERNAL,
                   "Could not prepare the evaluation of filters: SQLite could not open a "
                   "connection in memory.");
        return nullptr;
    }
    db = std::move(made);
    return db.get();
}

}  // namespace engine::postgres
