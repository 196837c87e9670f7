// Viewer pages: loads the page's scene (wrls/<model>.wrl, named by the body's data-model) into
// the X_ITE browser of the page and offers one button per viewpoint of the scene. Sets
// data-scene on the body to "loaded" or "failed" when the load ends.
(function () {
    "use strict";

    function viewpointButtons(browser, bar) {
        bar.textContent = "";
        const nodes = browser.currentScene.rootNodes;
        for (let i = 0; i < nodes.length; ++i) {
            const node = nodes[i];
            if (!node || node.getNodeTypeName() !== "Viewpoint")
                continue;
            const button = document.createElement("button");
            button.type = "button";
            button.textContent = node.description || "View " + (bar.children.length + 1);
            button.addEventListener("click", () => { node.set_bind = true; });
            bar.appendChild(button);
        }
    }

    function show() {
        const body = document.body;
        const model = body.dataset.model;
        const canvas = document.querySelector("x3d-canvas");
        const browser = X3D.getBrowser(canvas);
        // Every request overwrites the scene file: ask for the current one.
        const url = "../wrls/" + model + ".wrl?t=" + Date.now();
        browser.loadURL(new X3D.MFString(url)).then(
            () => {
                viewpointButtons(browser, document.getElementById("views"));
                body.dataset.scene = "loaded";
            },
            (error) => {
                document.getElementById("views").textContent = "The scene could not be loaded.";
                body.dataset.scene = "failed";
                console.error(error);
            });
    }

    if (document.readyState === "loading")
        document.addEventListener("DOMContentLoaded", show);
    else
        show();
})();
