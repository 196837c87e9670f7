// Tests of the viewer pages' geometry (site/htdocs/acis1/viewer.js run without a page): the
// framing of a model for a camera, the conversions between X3D orientations and camera axes,
// and the feature edges drawn over a mesh. Framing is checked by projecting the points from the
// camera it returns, independently of how it was found.
//
// Usage: node viewer_geometry_test.mjs VIEWER_JS
// Exit codes: 0 passed, 1 failed.
import { readFileSync } from "node:fs";
import { runInNewContext } from "node:vm";

const sandbox = { Math, Map, Set, Array, Number, Infinity, isNaN };
sandbox.globalThis = sandbox;
runInNewContext(readFileSync(process.argv[2], "utf8"), sandbox);
const g = sandbox.viewerGeometry;

let failures = 0;
function check(condition, message) {
    if (condition) {
        console.log("ok: " + message);
    } else {
        console.log("FAILED: " + message);
        ++failures;
    }
}

const dot = (a, b) => a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
const sub = (a, b) => [a[0] - b[0], a[1] - b[1], a[2] - b[2]];
const cross = (a, b) => [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                         a[0] * b[1] - a[1] * b[0]];
const close = (a, b, eps = 1e-9) => a.every((v, i) => Math.abs(v - b[i]) <= eps);

// A repeatable generator, so a failure can be replayed.
let seed = 12345;
function random() {
    seed = (seed * 1103515245 + 12345) % 2147483648;
    return seed / 2147483648;
}

function randomBasis() {
    const angle = random() * 2 * Math.PI;
    return g.rotationBasis(random() - 0.5, random() - 0.5, random() - 0.5, angle);
}

function orthonormal(b) {
    const vs = [b.right, b.up, b.back];
    return vs.every((v) => Math.abs(dot(v, v) - 1) < 1e-9) && Math.abs(dot(b.right, b.up)) < 1e-9 &&
           Math.abs(dot(b.up, b.back)) < 1e-9 && close(cross(b.right, b.up), b.back, 1e-9);
}

function testOrientations() {
    let roundTrips = 0, valid = 0;
    for (let i = 0; i < 200; ++i) {
        const basis = randomBasis();
        valid += orthonormal(basis);
        const again = g.rotationBasis(...g.basisRotation(basis));
        roundTrips += close(again.right, basis.right, 1e-9) && close(again.up, basis.up, 1e-9);
    }
    check(valid === 200, "orientations give right-handed orthonormal camera axes");
    check(roundTrips === 200, "camera axes turned back into an orientation give the same axes");
    // Rotations of half a turn, where the angle's sine vanishes, in every branch.
    const halfTurns = [[1, 0, 0], [0, 1, 0], [0, 0, 1], [1, -1, 0]].every((axis) => {
        const b = g.rotationBasis(...axis, Math.PI);
        const again = g.rotationBasis(...g.basisRotation(b));
        return close(again.right, b.right, 1e-9) && close(again.back, b.back, 1e-9);
    });
    check(halfTurns, "half turns survive the round trip");
    const top = g.rotationBasis(1, 0, 0, -1.570796);
    check(close(top.back, [0, 1, 0], 1e-6), "the scene's Top view looks down the y axis");
    const iso = g.lookBasis([1, 1, 1], [0, 0, 1]);
    check(orthonormal(iso) && close(iso.back, [1, 1, 1].map((v) => v / Math.sqrt(3))) &&
              iso.up[2] > 0 && Math.abs(iso.right[2]) < 1e-12,
          "the isometric view looks from +x +y +z with z up and a level horizon");
    const straight = g.lookBasis([0, 0, 1], [0, 0, 1]);
    check(orthonormal(straight), "looking along the up hint still gives valid axes");
}

// Screen bounds of the points seen from `position` with the camera axes, as x / depth.
function picture(points, basis, position) {
    let x0 = Infinity, x1 = -Infinity, y0 = Infinity, y1 = -Infinity, nearest = Infinity;
    for (const p of points) {
        const d = sub(p, position);
        const depth = -dot(d, basis.back);
        nearest = Math.min(nearest, depth);
        const x = dot(d, basis.right) / depth, y = dot(d, basis.up) / depth;
        x0 = Math.min(x0, x); x1 = Math.max(x1, x);
        y0 = Math.min(y0, y); y1 = Math.max(y1, y);
    }
    return { x0, x1, y0, y1, nearest };
}

function testFraming() {
    const fov = 0.785398, share = 0.7, half = share * Math.tan(fov / 2);
    let framed = 0, centred = 0, ahead = 0, turnsOnAxis = 0;
    const cases = 100;
    for (let i = 0; i < cases; ++i) {
        // A long, thin or flat cloud far from the origin, seen from anywhere.
        const size = [1 + random() * 100, 1 + random() * 100, 0.01 + random() * 100];
        const offset = [random() * 1000, random() * 1000, random() * 1000];
        const points = Array.from({ length: 50 },
                                  () => size.map((s, k) => offset[k] + s * random()));
        const basis = randomBasis();
        const placed = g.frame(points, basis, fov, share);
        const p = picture(points, basis, placed.position);
        const extent = Math.max(p.x1 - p.x0, p.y1 - p.y0) / 2;
        framed += Math.abs(extent / half - 1) < 1e-3;
        centred += Math.abs(p.x0 + p.x1) / 2 < 1e-3 * half &&
                   Math.abs(p.y0 + p.y1) / 2 < 1e-3 * half;
        ahead += p.nearest > 0;
        const axis = sub(placed.centre, placed.position);
        turnsOnAxis += close(cross(axis, basis.back), [0, 0, 0], 1e-6 * dot(axis, axis));
    }
    check(ahead === cases, "every point is in front of the framed camera");
    check(framed === cases, "the framed picture's larger side is the share asked for");
    check(centred === cases, "the framed picture is centred, perspective included");
    check(turnsOnAxis === cases, "the camera turns about a point on its own axis");
    check(g.frame([], g.lookBasis([1, 1, 1], [0, 0, 1]), fov, share) === null,
          "no points: nothing to frame");
    const one = g.frame([[5, 5, 5]], g.lookBasis([0, 0, 1], [0, 1, 0]), fov, share);
    check(one && one.position[2] > 5 && close(one.centre, [5, 5, 5]),
          "a single point is looked at from in front");
}

// A cube of side 2 centred on the origin, two triangles a side; with `split` each face has its
// own corners (as a faceter may write them).
function cube(split) {
    const corners = [];
    for (let i = 0; i < 8; ++i)
        corners.push([i & 1 ? 1 : -1, i & 2 ? 1 : -1, i & 4 ? 1 : -1]);
    const quads = [[0, 2, 3, 1], [4, 5, 7, 6], [0, 1, 5, 4],
                   [2, 6, 7, 3], [0, 4, 6, 2], [1, 3, 7, 5]];
    const points = [], faces = [];
    for (const q of quads) {
        let idx = q;
        if (split) {
            idx = q.map((c) => points.push(corners[c].slice()) - 1);
        }
        faces.push([idx[0], idx[1], idx[2]], [idx[0], idx[2], idx[3]]);
    }
    return { points: split ? points : corners, faces };
}

function testEdges() {
    const crease = Math.PI / 6;
    for (const split of [false, true]) {
        const { points, faces } = cube(split);
        const edges = g.featureEdges(points, faces, crease, 0.01);
        // An edge's middle lies at sqrt(2) from the centre, and the lift points straight out.
        const lifted = edges.every(([a, b]) => {
            const mid = [(a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2];
            return Math.abs(Math.hypot(...mid) - (Math.SQRT2 + 0.01)) < 1e-9;
        });
        check(edges.length === 12 && lifted,
              `a cube${split ? " with corners repeated per face" : ""} has its 12 edges, ` +
                  `lifted outwards (${edges.length})`);
    }
    // A 64-sided prism: side faces meet at under 6 degrees, so only the two rims show.
    const n = 64, points = [], faces = [];
    for (let i = 0; i < n; ++i) {
        const a = 2 * Math.PI * i / n;
        points.push([Math.cos(a), Math.sin(a), 0], [Math.cos(a), Math.sin(a), 3]);
    }
    const bottom = [], top = [];
    for (let i = 0; i < n; ++i) {
        const j = (i + 1) % n;
        faces.push([2 * i, 2 * j, 2 * j + 1], [2 * i, 2 * j + 1, 2 * i + 1]);
        bottom.unshift(2 * i);
        top.push(2 * i + 1);
    }
    faces.push(bottom, top);
    const rims = g.featureEdges(points, faces, crease, 0);
    check(rims.length === 2 * n && rims.every(([a, b]) => a[2] === b[2]),
          `a round prism shows its two rims and no side lines (${rims.length})`);
    const open = g.featureEdges([[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]],
                                [[0, 1, 2], [0, 2, 3]], crease, 0);
    check(open.length === 4, "an open square shows its four border edges, not its diagonal");
}

function testFaces() {
    const faces = g.facesFromIndex([0, 1, 2, -1, 0, 1, -1, 3, 9, 4, 5, -1, 2, 3, 4], 6);
    check(JSON.stringify(faces) === "[[0,1,2],[3,4,5],[2,3,4]]",
          "face lists: a two-point face is dropped, a point beyond the list skipped, the last " +
              "face closed without its -1");
}

testOrientations();
testFraming();
testEdges();
testFaces();
process.exit(failures ? 1 : 0);
