// Prints the Khronos glTF validator's report of one .glb file as JSON.
// Usage: node validate.js FILE (run with NODE_PATH pointing at the installed validator)
const fs = require("fs");
const validator = require("gltf-validator");

const bytes = new Uint8Array(fs.readFileSync(process.argv[2]));
validator
  .validateBytes(bytes, { maxIssues: 100 })
  .then((report) => process.stdout.write(JSON.stringify(report) + "\n"))
  .catch((error) => {
    process.stderr.write(String(error) + "\n");
    process.exit(1);
  });
