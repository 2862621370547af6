// Checks a HAR file against the HAR 1.2 schema and against the fields that browsers'
// developer tools read when they import one. Exits 1 with the reasons when it fails.
'use strict';
const fs = require('fs');
const validate = require('har-validator');

const problems = [];
const expect = (ok, what) => { if (!ok) problems.push(what); };
const isNumber = (v) => typeof v === 'number' && Number.isFinite(v);

function importerFields(har) {
  const log = har.log;
  expect(Array.isArray(log.pages) && log.pages.length > 0, 'log.pages is a non-empty list');
  const pageIds = new Set((log.pages || []).map((p) => p.id));
  (log.pages || []).forEach((p, i) => {
    expect(isNumber(p.pageTimings.onContentLoad) && isNumber(p.pageTimings.onLoad),
      `page ${i}: pageTimings are numbers`);
  });
  log.entries.forEach((e, i) => {
    const at = `entry ${i}`;
    expect(pageIds.has(e.pageref), `${at}: pageref names a page`);
    expect(e.cache && typeof e.cache === 'object', `${at}: has a cache object`);
    expect(!Number.isNaN(Date.parse(e.startedDateTime)), `${at}: startedDateTime parses`);
    expect(isNumber(e.time) && e.time >= 0, `${at}: time is a number`);
    for (const k of ['blocked', 'dns', 'connect', 'ssl', 'send', 'wait', 'receive']) {
      expect(isNumber(e.timings[k]) && e.timings[k] >= -1, `${at}: timings.${k} is a number`);
    }
    for (const side of ['request', 'response']) {
      const m = e[side];
      expect(Number.isInteger(m.headersSize), `${at}: ${side}.headersSize is an integer`);
      expect(Number.isInteger(m.bodySize), `${at}: ${side}.bodySize is an integer`);
      expect(Array.isArray(m.headers) && Array.isArray(m.cookies), `${at}: ${side} lists`);
    }
    let url = null;
    try { url = new URL(e.request.url); } catch (error) { url = null; }
    expect(url !== null, `${at}: request.url parses`);
    expect(typeof e.response.content.mimeType === 'string', `${at}: content.mimeType`);
    if (e._webSocketMessages !== undefined) {
      expect(e._resourceType === 'websocket', `${at}: websocket entry is marked as one`);
      e._webSocketMessages.forEach((m, j) => {
        expect(m.type === 'send' || m.type === 'receive', `${at} message ${j}: type`);
        expect(isNumber(m.time) && isNumber(m.opcode) && typeof m.data === 'string',
          `${at} message ${j}: time, opcode, data`);
      });
    }
  });
}

async function main() {
  const har = JSON.parse(fs.readFileSync(process.argv[2], 'utf8'));
  try {
    await validate.har(har);
  } catch (error) {
    for (const e of error.errors || [error]) problems.push(`schema: ${e.dataPath || ''} ${e.message}`);
  }
  // The importers' fields are looked at only in a document of the right shape.
  if (!problems.length) importerFields(har);
  if (problems.length) {
    console.error(problems.join('\n'));
    process.exit(1);
  }
  console.log(`ok: ${har.log.entries.length} entries`);
}

main();
