// Renders ZPL files to PNG with the zpl-renderer-js package (an independent ZPL
// renderer). Usage: node render_zpl.cjs MODULE_DIR WIDTH_MM HEIGHT_MM IN.zpl OUT.png [...]
const path = require("node:path");
const fs = require("node:fs");
const { ready } = require(path.join(process.argv[2], "zpl-renderer-js"));
(async () => {
  const { api } = await ready;
  const width = Number(process.argv[3]);
  const height = Number(process.argv[4]);
  for (let i = 5; i + 1 < process.argv.length; i += 2) {
    const zpl = fs.readFileSync(process.argv[i], "latin1");
    const png = await api.zplToBase64Async(zpl, width, height, 8);
    fs.writeFileSync(process.argv[i + 1], Buffer.from(png, "base64"));
  }
})().catch((e) => {
  console.error(String(e));
  process.exit(1);
});
