// Viewer pages. The body names its shape in data-model and its form in data-form. The page first
// reads the shape's status record (../sats/<model>.json): when the last request built nothing it
// says why and shows no model; otherwise it loads the scene (../wrls/<model>.wrl) into the page's
// X_ITE browser, adds in the browser (the file is never changed) smooth shading, feature edges, a
// light background and a framed isometric view, and offers the scene's viewpoints, framed the
// same way, as buttons. A side panel shows the solid's size, volume and area from
// /cgi-bin/Solid and the download links.
//
// The body's data-scene ends as "loaded", "empty" (no model to show) or "failed"; the panel's
// data-solid ends as "shown", "none" (nothing built) or "failed".
//
// The geometry helpers below need no page: run without a document (as the tests do), the script
// only publishes them as globalThis.viewerGeometry.
(function () {
    "use strict";

    // ---- Geometry: points are [x, y, z] arrays, faces arrays of point indexes. ----

    const WELD_STEP = 1e-5; // scenes span 0..100: far below the faceter's tolerance

    // Vector arithmetic on [x, y, z] arrays; normalize gives [0, 0, 0] for a zero vector.
    function sub(a, b) { return [a[0] - b[0], a[1] - b[1], a[2] - b[2]]; }
    function add(a, b) { return [a[0] + b[0], a[1] + b[1], a[2] + b[2]]; }
    function scale(a, s) { return [a[0] * s, a[1] * s, a[2] * s]; }
    function dot(a, b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
    function cross(a, b) {
        return [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]];
    }
    function normalize(a) {
        const l = Math.hypot(a[0], a[1], a[2]);
        return l > 0 ? scale(a, 1 / l) : [0, 0, 0];
    }

    // Splits an IndexedFaceSet's coordIndex list into faces; indexes outside the point list and
    // faces of fewer than three points are dropped, as a viewer draws nothing for them.
    function facesFromIndex(coordIndex, pointCount) {
        const faces = [];
        let face = [];
        const close = () => {
            if (face.length >= 3)
                faces.push(face);
            face = [];
        };
        for (const i of coordIndex) {
            if (i < 0)
                close();
            else if (i < pointCount)
                face.push(i);
        }
        close();
        return faces;
    }

    // Axis-aligned bounds of the points, or null when there are none.
    function bounds(points) {
        if (points.length === 0)
            return null;
        const min = points[0].slice(), max = points[0].slice();
        for (const p of points) {
            for (let k = 0; k < 3; ++k) {
                min[k] = Math.min(min[k], p[k]);
                max[k] = Math.max(max[k], p[k]);
            }
        }
        return { min, max };
    }

    // Unit normal of a planar polygon by Newell's method (any winding, any number of corners).
    function faceNormal(points, face) {
        let n = [0, 0, 0];
        for (let i = 0; i < face.length; ++i) {
            const p = points[face[i]], q = points[face[(i + 1) % face.length]];
            n = add(n, [(p[1] - q[1]) * (p[2] + q[2]), (p[2] - q[2]) * (p[0] + q[0]),
                        (p[0] - q[0]) * (p[1] + q[1])]);
        }
        return normalize(n);
    }

    // Maps every point to the first point at the same place, so faces that repeat a corner
    // under another index still count as neighbours.
    function weld(points) {
        const seen = new Map();
        return points.map((p, i) => {
            const key = p.map((v) => Math.round(v / WELD_STEP)).join(",");
            if (!seen.has(key))
                seen.set(key, i);
            return seen.get(key);
        });
    }

    // Edges to draw as lines: those between two faces whose normals differ by more than
    // `angle` radians, those of one face only (open borders) and those of more than two.
    // Each edge comes back as two points moved by `lift` along the mean normal of its faces,
    // so the line lies just in front of the surface instead of fighting it for depth.
    function featureEdges(points, faces, angle, lift) {
        const same = weld(points);
        const normals = faces.map((f) => faceNormal(points, f));
        const edges = new Map(); // key of the welded pair -> { a, b, faces }
        const n = points.length;
        faces.forEach((face, fi) => {
            for (let i = 0; i < face.length; ++i) {
                const a = same[face[i]], b = same[face[(i + 1) % face.length]];
                if (a === b)
                    continue;
                const key = Math.min(a, b) * n + Math.max(a, b);
                let edge = edges.get(key);
                if (!edge)
                    edges.set(key, edge = { a, b, faces: [] });
                edge.faces.push(fi);
            }
        });
        const limit = Math.cos(angle);
        const segments = [];
        for (const edge of edges.values()) {
            const fs = edge.faces;
            if (fs.length === 2 && dot(normals[fs[0]], normals[fs[1]]) >= limit)
                continue;
            const along = normalize(fs.reduce((s, f) => add(s, normals[f]), [0, 0, 0]));
            const offset = scale(along, lift);
            segments.push([add(points[edge.a], offset), add(points[edge.b], offset)]);
        }
        return segments;
    }

    // Camera axes of an X3D orientation (axis x, y, z and angle): where the camera's right, up
    // and backward (towards the viewer) directions point in the scene.
    function rotationBasis(x, y, z, angle) {
        const axis = normalize([x, y, z]);
        const turn = (v) => {
            // Rodrigues' rotation of v about the axis.
            const c = Math.cos(angle), s = Math.sin(angle);
            return add(add(scale(v, c), scale(cross(axis, v), s)),
                       scale(axis, dot(axis, v) * (1 - c)));
        };
        if (axis[0] === 0 && axis[1] === 0 && axis[2] === 0)
            return { right: [1, 0, 0], up: [0, 1, 0], back: [0, 0, 1] };
        return { right: turn([1, 0, 0]), up: turn([0, 1, 0]), back: turn([0, 0, 1]) };
    }

    // The X3D orientation [x, y, z, angle] whose camera axes are the given orthonormal basis.
    function basisRotation(basis) {
        const { right: r, up: u, back: b } = basis;
        // Rotation matrix with the axes as columns, turned into a quaternion.
        const m00 = r[0], m01 = u[0], m02 = b[0];
        const m10 = r[1], m11 = u[1], m12 = b[1];
        const m20 = r[2], m21 = u[2], m22 = b[2];
        const trace = m00 + m11 + m22;
        let w, x, y, z;
        if (trace > 0) {
            const s = 2 * Math.sqrt(trace + 1);
            w = s / 4; x = (m21 - m12) / s; y = (m02 - m20) / s; z = (m10 - m01) / s;
        } else if (m00 > m11 && m00 > m22) {
            const s = 2 * Math.sqrt(1 + m00 - m11 - m22);
            w = (m21 - m12) / s; x = s / 4; y = (m01 + m10) / s; z = (m02 + m20) / s;
        } else if (m11 > m22) {
            const s = 2 * Math.sqrt(1 + m11 - m00 - m22);
            w = (m02 - m20) / s; x = (m01 + m10) / s; y = s / 4; z = (m12 + m21) / s;
        } else {
            const s = 2 * Math.sqrt(1 + m22 - m00 - m11);
            w = (m10 - m01) / s; x = (m02 + m20) / s; y = (m12 + m21) / s; z = s / 4;
        }
        const sine = Math.hypot(x, y, z);
        if (sine < 1e-12)
            return [0, 0, 1, 0];
        return [x / sine, y / sine, z / sine, 2 * Math.atan2(sine, w)];
    }

    // Camera axes looking along -back with `upHint` as near to straight up as it can be.
    function lookBasis(back, upHint) {
        const b = normalize(back);
        let right = normalize(cross(upHint, b));
        if (dot(right, right) === 0) // looking straight along the hint: any right will do
            right = normalize(cross([1, 0, 0], b));
        return { right, up: cross(b, right), back: b };
    }

    // Where on screen points fall, given along the camera's axes from a reference point (flat
    // arrays xs, ys, zs), for a camera u across, v up and `distance` back from it: the bounds
    // of x / depth and y / depth, with the depths of the points that reach them.
    function screenBounds(view, u, v, distance) {
        const { xs, ys, zs } = view;
        const s = { x0: Infinity, x1: -Infinity, y0: Infinity, y1: -Infinity };
        for (let i = 0; i < xs.length; ++i) {
            const depth = distance - zs[i];
            const sx = (xs[i] - u) / depth, sy = (ys[i] - v) / depth;
            if (sx < s.x0) { s.x0 = sx; s.dx0 = depth; }
            if (sx > s.x1) { s.x1 = sx; s.dx1 = depth; }
            if (sy < s.y0) { s.y0 = sy; s.dy0 = depth; }
            if (sy > s.y1) { s.y1 = sy; s.dy1 = depth; }
        }
        return s;
    }

    // The distance back from (u, v) at which the picture's larger side is 2 * half (the picture
    // shrinks as the camera backs away): bisection between the nearest point and a distance
    // far enough.
    function fitDistance(view, u, v, half) {
        const size = (d) => {
            const s = screenBounds(view, u, v, d);
            return Math.max(s.x1 - s.x0, s.y1 - s.y0) / 2;
        };
        let close = view.nearest, far = view.nearest + view.radius / half + view.radius;
        while (size(far) > half)
            far += far - view.nearest;
        while (far - close > far * 1e-10) {
            const mid = (close + far) / 2;
            if (size(mid) > half)
                close = mid;
            else
                far = mid;
        }
        return far;
    }

    // Where to put a perspective camera with the given axes and field of view (radians, on the
    // view's shorter side) so that the points' picture is centred and its larger side is
    // `share` of the view's shorter side. Returns { position, centre } (centre: the point on the
    // view's axis to turn about) or null without points.
    function frame(points, basis, fieldOfView, share) {
        const box = bounds(points);
        if (!box)
            return null;
        const middle = scale(add(box.min, box.max), 0.5);
        const n = points.length;
        const view = { xs: new Float64Array(n), ys: new Float64Array(n), zs: new Float64Array(n),
                       radius: 0, nearest: -Infinity };
        points.forEach((p, i) => {
            const d = sub(p, middle);
            view.xs[i] = dot(d, basis.right);
            view.ys[i] = dot(d, basis.up);
            view.zs[i] = dot(d, basis.back);
            view.radius = Math.max(view.radius, Math.hypot(d[0], d[1], d[2]));
            view.nearest = Math.max(view.nearest, view.zs[i]);
        });
        const half = share * Math.tan(fieldOfView / 2); // half the wanted picture, over depth
        let u = 0, v = 0, distance = 10;
        // Perspective makes the near side look larger, so no closed form: alternately find the
        // distance for the size and move the camera across to centre the picture.
        for (let round = 0; view.radius > 0 && round < 30; ++round) {
            distance = fitDistance(view, u, v, half);
            const s = screenBounds(view, u, v, distance);
            // Moving across by d moves a point at depth h by d / h on screen: the shift that
            // centres the two points reaching the edges.
            const du = (s.x0 + s.x1) / (1 / s.dx0 + 1 / s.dx1);
            const dv = (s.y0 + s.y1) / (1 / s.dy0 + 1 / s.dy1);
            if (Math.abs(du) + Math.abs(dv) < view.radius * 1e-9)
                break;
            u += du;
            v += dv;
        }
        const centre = add(middle, add(scale(basis.right, u), scale(basis.up, v)));
        return { position: add(centre, scale(basis.back, distance)), centre };
    }

    const geometry = {
        facesFromIndex, bounds, featureEdges, rotationBasis, basisRotation, lookBasis, frame,
    };
    if (typeof document === "undefined") {
        globalThis.viewerGeometry = geometry;
        return;
    }

    // ---- The page ----

    const FIELD_OF_VIEW = 0.785398; // the scene's own viewpoints' field of view
    const SHARE = 0.7;              // the model's largest extent over the view's shorter side
    const CREASE = Math.PI / 6;     // faces meeting at more than 30 degrees show an edge
    const EDGE_LIFT = 0.05;         // scene units (the model spans 100)
    const MAX_SCENE_BYTES = 64 << 20; // larger scenes would stall the page: offered as files only
    const FETCH_TIMEOUT_MS = 30000; // a record, the measures or a scene: then "could not be read"
    const ISOMETRIC = lookBasis([1, 1, 1], [0, 0, 1]); // from +x +y +z, height (z) up

    const page = {
        body: document.body,
        model: document.body.dataset.model,
        browser: null,
        scene: null,
        points: [],
        camera: null, // the viewpoint this page bound last
        basis: ISOMETRIC,
    };

    // A new element with the text (set as text, never parsed as markup) and attributes.
    function element(tag, text, attributes) {
        const node = document.createElement(tag);
        if (text)
            node.textContent = text;
        for (const [name, value] of Object.entries(attributes || {}))
            node.setAttribute(name, value);
        return node;
    }

    // The line beside the title.
    function say(text) {
        document.getElementById("status").textContent = text;
    }

    // A record's time (UTC text) in the reader's own time and way of writing dates.
    function when(time) {
        const date = new Date(time);
        if (isNaN(date.getTime()))
            return String(time);
        return date.toLocaleString(undefined, { dateStyle: "medium", timeStyle: "medium" });
    }

    // fetch without the cache, given up after FETCH_TIMEOUT_MS: a server that stops answering
    // ends in the same "could not be read" outcome as one that refuses.
    function fetchBounded(url) {
        return fetch(url, { cache: "no-store", signal: AbortSignal.timeout(FETCH_TIMEOUT_MS) });
    }

    // The shape's status record; null when there is none (files written before records
    // existed: the scene is then shown as it is); { unreadable: true } when the server did not
    // give it (an error, no answer in time, a damaged record): nothing can be said about the
    // files then, so no model is shown as if it were new.
    async function readRecord() {
        const url = "../sats/" + encodeURIComponent(page.model) + ".json?t=" + Date.now();
        try {
            const answer = await fetchBounded(url);
            if (answer.status === 404)
                return null;
            if (!answer.ok)
                return { unreadable: true };
            const record = await answer.json();
            if (!record || typeof record.built !== "boolean")
                return { unreadable: true };
            return record;
        } catch (error) {
            return { unreadable: true };
        }
    }

    // Nothing to show: the reason in place of the model.
    function showEmpty(reason, time, headline = "No solid was built.") {
        const box = document.getElementById("message");
        box.textContent = "";
        box.appendChild(element("p", headline, { class: "headline" }));
        if (reason)
            box.appendChild(element("p", reason));
        if (time)
            box.appendChild(element("p", "Request of " + when(time) + "."));
        const back = element("a", "Change the values in the form",
                             { href: "../index.html#" + page.body.dataset.form });
        box.appendChild(element("p")).appendChild(back);
        box.hidden = false;
        say("");
        document.getElementById("views").textContent = "";
        document.getElementById("solid").hidden = true;
        page.body.dataset.scene = "empty";
    }

    // The model cannot be shown: the text in its place.
    function showFailure(text) {
        document.getElementById("views").textContent = "";
        const box = document.getElementById("message");
        box.textContent = "";
        box.appendChild(element("p", text, { class: "headline" }));
        box.hidden = false;
        page.body.dataset.scene = "failed";
    }

    // ---- Size, volume and downloads ----

    // A measure with at most six significant digits and grouped thousands (16,759.9).
    function formatNumber(value) {
        return value.toLocaleString("en-GB", { maximumSignificantDigits: 6 });
    }

    // The download list: STEP and STL only when Solid has a solid to write them from.
    function downloadLinks(built) {
        const model = encodeURIComponent(page.model);
        const solid = "/cgi-bin/Solid?shape=" + model + "&format=";
        const links = [];
        if (built) {
            links.push(["STEP", solid + "step", page.model + ".step"]);
            links.push(["STL", solid + "stl", page.model + ".stl"]);
        }
        links.push(["SAT", "../sats/" + model + ".sat", page.model + ".sat"]);
        links.push(["VRML scene", "../wrls/" + model + ".wrl", page.model + ".wrl"]);
        const list = document.getElementById("downloads");
        list.textContent = "";
        for (const [label, href, name] of links) {
            const link = element("a", label, { href, download: name });
            list.appendChild(element("li")).appendChild(link);
        }
    }

    // The box's size, the volume and the area of Solid's answer.
    function showMeasures(solid) {
        const box = solid.box;
        const size = [box[3] - box[0], box[4] - box[1], box[5] - box[2]];
        const rows = [
            ["Size (x \u00d7 y \u00d7 z)", size.map(formatNumber).join(" \u00d7 ") + " mm", "size"],
            ["Volume", formatNumber(solid.volume) + " mm\u00b3", "volume"],
            ["Surface area", formatNumber(solid.area) + " mm\u00b2", "area"],
        ];
        const list = document.getElementById("measures");
        list.textContent = "";
        for (const [label, text, name] of rows) {
            list.appendChild(element("dt", label));
            list.appendChild(element("dd", text, { "data-measure": name }));
        }
    }

    // Whether Solid's answer is a built solid with every measure a finite number.
    function validSolid(solid) {
        if (!solid || solid.built !== true)
            return false;
        const numbers = [solid.volume, solid.area].concat(solid.box);
        return Array.isArray(solid.box) && solid.box.length === 6 &&
               numbers.every((v) => typeof v === "number" && isFinite(v));
    }

    // Fills the side panel from /cgi-bin/Solid; a failure there is reported in the panel only.
    async function loadMeasures() {
        const panel = document.getElementById("solid");
        const note = document.getElementById("solid-note");
        const url = "/cgi-bin/Solid?shape=" + encodeURIComponent(page.model) + "&format=json";
        let solid = null;
        try {
            const answer = await fetchBounded(url);
            if (answer.ok)
                solid = await answer.json();
        } catch (error) {
            solid = null;
        }
        if (validSolid(solid)) {
            showMeasures(solid);
            note.textContent = "";
            downloadLinks(true);
            panel.dataset.solid = "shown";
        } else if (solid && solid.built === false) {
            note.textContent = "No solid was built." + (solid.reason ? " " + solid.reason : "");
            downloadLinks(false);
            panel.dataset.solid = "none";
        } else {
            note.textContent = "The size and volume cannot be read at the moment.";
            downloadLinks(false);
            panel.dataset.solid = "failed";
        }
    }

    // ---- The scene ----

    // Calls visit(node) for every node under the given ones, through grouping nodes' children
    // and shapes' geometry.
    function walk(nodes, visit) {
        for (let i = 0; i < nodes.length; ++i) {
            const node = nodes[i];
            if (!node)
                continue;
            visit(node);
            const type = node.getNodeTypeName();
            if (type === "Transform" || type === "Group")
                walk(node.children, visit);
            else if (type === "Shape" && node.geometry)
                walk([node.geometry], visit);
        }
    }

    // Smooth shading on curved faces and a line set of the feature edges for each face set;
    // returns all the points of the model (the scene's root transform is the identity).
    function dressFaceSets(scene) {
        const all = [];
        const lines = [];
        walk(scene.rootNodes, (node) => {
            if (node.getNodeTypeName() !== "IndexedFaceSet" || !node.coord)
                return;
            node.creaseAngle = CREASE;
            const field = node.coord.point;
            const points = [];
            for (let i = 0; i < field.length; ++i)
                points.push([field[i].x, field[i].y, field[i].z]);
            const faces = facesFromIndex(node.coordIndex, points.length);
            const used = new Set();
            for (const face of faces)
                for (const i of face)
                    used.add(i);
            for (const i of used)
                all.push(points[i]);
            lines.push(...featureEdges(points, faces, CREASE, EDGE_LIFT));
        });
        walk(scene.rootNodes, softenMaterial);
        if (lines.length > 0)
            scene.addRootNode(edgeShape(scene, lines));
        return all;
    }

    // The scene's materials shine white over a large spot and, under two lights, turn white
    // wherever a face looks at the viewer, washing out the shape: keep their hue, a little
    // darker, and dim the shine.
    function softenMaterial(node) {
        if (node.getNodeTypeName() !== "Shape" || !node.appearance || !node.appearance.material)
            return;
        const material = node.appearance.material;
        const c = material.diffuseColor;
        material.diffuseColor = new X3D.SFColor(c.r * 0.75, c.g * 0.75, c.b * 0.75);
        material.specularColor = new X3D.SFColor(0.1, 0.1, 0.1);
    }

    // A shape drawing the segments as thin dark lines (lines are unlit: emissive colour only).
    function edgeShape(scene, segments) {
        const coord = scene.createNode("Coordinate");
        const points = [];
        const index = [];
        for (const [p, q] of segments) {
            index.push(points.length, points.length + 1, -1);
            points.push(new X3D.SFVec3f(...p), new X3D.SFVec3f(...q));
        }
        coord.point = new X3D.MFVec3f(...points);
        const lines = scene.createNode("IndexedLineSet");
        lines.coord = coord;
        lines.coordIndex = new X3D.MFInt32(...index);
        const material = scene.createNode("Material");
        material.diffuseColor = new X3D.SFColor(0, 0, 0);
        material.emissiveColor = new X3D.SFColor(0.12, 0.12, 0.14);
        const appearance = scene.createNode("Appearance");
        appearance.material = material;
        const shape = scene.createNode("Shape");
        shape.appearance = appearance;
        shape.geometry = lines;
        return shape;
    }

    // A light neutral background and a light from above, fixed in the scene, so that faces
    // the viewer's headlight meets at the same angle still differ in shade.
    function addSurroundings(scene) {
        const background = scene.createNode("Background");
        background.skyColor = new X3D.MFColor(new X3D.SFColor(0.94, 0.95, 0.96));
        const light = scene.createNode("DirectionalLight");
        light.direction = new X3D.SFVec3f(-0.6, -0.25, -1);
        light.intensity = 0.4;
        return [background, light];
    }

    // A new viewpoint looking along the basis at the framed model; null without a model.
    function framedViewpoint(scene, basis) {
        const placed = frame(page.points, basis, FIELD_OF_VIEW, SHARE);
        if (!placed)
            return null;
        const viewpoint = scene.createNode("Viewpoint");
        viewpoint.fieldOfView = FIELD_OF_VIEW;
        viewpoint.position = new X3D.SFVec3f(...placed.position);
        viewpoint.orientation = new X3D.SFRotation(...basisRotation(basis));
        viewpoint.centerOfRotation = new X3D.SFVec3f(...placed.centre);
        return viewpoint;
    }

    // Binds a fresh framed viewpoint (a fresh one, so that the user's own turns of the last one
    // are dropped) and lets the last one go.
    function lookAlong(basis) {
        const viewpoint = framedViewpoint(page.scene, basis);
        if (!viewpoint)
            return;
        page.scene.addRootNode(viewpoint);
        viewpoint.set_bind = true;
        if (page.camera)
            page.scene.removeRootNode(page.camera);
        page.camera = viewpoint;
        page.basis = basis;
    }

    // The direction the user is looking now, turns included; the last chosen one when the
    // viewer does not tell.
    function currentBasis() {
        try {
            const active = page.browser.getActiveViewpoint();
            const r = active.getUserOrientation();
            return rotationBasis(r.x, r.y, r.z, r.angle);
        } catch (error) {
            return page.basis;
        }
    }

    // The view buttons: Isometric, Fit, then one per viewpoint of the scene, in its order.
    function viewButtons(scene) {
        const bar = document.getElementById("views");
        bar.textContent = "";
        const add = (label, action, kind) => {
            const button = element("button", label, { type: "button", class: kind });
            button.addEventListener("click", action);
            bar.appendChild(button);
        };
        add("Isometric", () => lookAlong(ISOMETRIC), "tool");
        add("Fit", () => lookAlong(currentBasis()), "tool");
        for (let i = 0; i < scene.rootNodes.length; ++i) {
            const node = scene.rootNodes[i];
            if (!node || node.getNodeTypeName() !== "Viewpoint" || node === page.camera)
                continue;
            const o = node.orientation;
            const basis = rotationBasis(o.x, o.y, o.z, o.angle);
            add(node.description || "View " + bar.children.length, () => lookAlong(basis), "view");
        }
    }

    // The scene's text, or an outcome when there is none to show: "missing" (no request has
    // written one yet), "large" (over MAX_SCENE_BYTES) or "failed".
    async function fetchScene() {
        // Every request overwrites the scene file: ask for the current one.
        const url = "../wrls/" + encodeURIComponent(page.model) + ".wrl?t=" + Date.now();
        try {
            const answer = await fetchBounded(url);
            if (answer.status === 404)
                return { outcome: "missing" };
            if (!answer.ok)
                return { outcome: "failed" };
            if (Number(answer.headers.get("Content-Length")) > MAX_SCENE_BYTES)
                return { outcome: "large" };
            const text = await answer.text();
            return text.length > MAX_SCENE_BYTES ? { outcome: "large" } : { text };
        } catch (error) {
            return { outcome: "failed" };
        }
    }

    // Shows the scene; false when it holds no model.
    async function loadScene(text) {
        const browser = X3D.getBrowser(document.querySelector("x3d-canvas"));
        page.browser = browser;
        const scene = await browser.createX3DFromString(text);
        page.scene = scene;
        page.points = dressFaceSets(scene);
        if (page.points.length === 0)
            return false;
        // The first viewpoint of the scene is the one bound at the start: put the framed
        // isometric view first, with the surroundings.
        page.camera = framedViewpoint(scene, ISOMETRIC);
        const first = [page.camera, ...addSurroundings(scene)];
        scene.rootNodes = new X3D.MFNode(...first, ...scene.rootNodes);
        browser.setBrowserOption("StraightenHorizon", false); // height stays up only in views
        await browser.replaceWorld(scene);
        viewButtons(scene);
        return true;
    }

    const SCENE_TROUBLE = {
        large: "The model is too large to show here: download it from the list beside.",
        failed: "The model could not be shown: its scene could not be read.",
        record: "The model could not be shown: the outcome of the last request could not be read.",
    };

    // The whole page: record first, then the scene and, beside it, the measures.
    async function show() {
        const record = await readRecord();
        if (record && record.unreadable) {
            showFailure(SCENE_TROUBLE.record);
            return;
        }
        if (record && !record.built) {
            showEmpty(record.reason, record.time);
            return;
        }
        if (record && record.time)
            say("Built " + when(record.time) + ".");
        const measures = loadMeasures();
        const scene = await fetchScene();
        let shown = false;
        try {
            shown = scene.text !== undefined && await loadScene(scene.text);
        } catch (error) {
            scene.outcome = "failed";
            console.error(error);
        }
        if (shown) {
            page.body.dataset.scene = "loaded";
        } else if (scene.outcome === "missing") {
            showEmpty("", "", "No solid of this shape has been built yet.");
        } else if (scene.outcome) {
            say("");
            showFailure(SCENE_TROUBLE[scene.outcome]);
        } else {
            // A scene without a model: a request built nothing, and wrote its record after
            // ours was read, or wrote none.
            const again = await readRecord();
            const known = again && !again.unreadable;
            showEmpty(known && !again.built ? again.reason : "", known && again.time);
        }
        await measures;
    }

    if (document.readyState === "loading")
        document.addEventListener("DOMContentLoaded", show);
    else
        show();
})();
