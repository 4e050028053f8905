// Fits the win/draw/loss model behind UCI_ShowWDL to games of the engine whose moves carry
// score comments ("{+0.35/6 0.01s}", the mover's own score in pawns).
//
// Usage: node scripts/fit_wdl.mjs GAMES.pgn[.gz] [MATCH_DIR]
//   MATCH_DIR (default ../shared/tools/match beside the checkout) provides chessops, which
//   replays the moves so that the material of every scored position is known.
//
// Model, for a score v in centipawns from the side to move's point of view and the material
// M = P + 3N + 3B + 5R + 9Q of both sides, clamped to [17, 78], as m = (M - 47.5) / 30.5 in [-1, 1]:
//   win  = 1 / (1 + exp((a(m) - v) / b(m)))
//   loss = 1 / (1 + exp((a(m) + v) / b(m)))
//   draw = 1 - win - loss
// with a and b cubic polynomials in m. The eight coefficients maximise the likelihood of the
// game results over all scored positions (mate scores and book moves are left out). The script
// prints them as C++ arrays together with a table of predicted against observed rates.
import { readFileSync } from 'node:fs';
import { gunzipSync } from 'node:zlib';
import { resolve, dirname } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const [file, matchDir = resolve(here, '../../shared/tools/match')] = process.argv.slice(2);
if (!file) {
  console.error('usage: node scripts/fit_wdl.mjs GAMES.pgn[.gz] [MATCH_DIR]');
  process.exit(2);
}
const lib = (m) => import(pathToFileURL(resolve(matchDir, 'node_modules/chessops/dist/esm', m)).href);
const { parsePgn, startingPosition } = await lib('pgn.js');
const { parseSan } = await lib('san.js');

const MAT_MIN = 17, MAT_MAX = 78, MAT_MID = 47.5, MAT_HALF = 30.5;
const PIECE_WORTH = { pawn: 1, knight: 3, bishop: 3, rook: 5, queen: 9, king: 0 };
const SCORE_RE = /^\s*([+-]?)(M?)(\d+(?:\.\d+)?)\//;

function material(pos) {
  let m = 0;
  for (const [, piece] of pos.board) m += PIECE_WORTH[piece.role];
  return Math.min(MAT_MAX, Math.max(MAT_MIN, m));
}

// Samples keyed by (material, score rounded to 5 cp): counts of wins, draws, losses.
const cells = new Map();
let text = readFileSync(file);
if (file.endsWith('.gz')) text = gunzipSync(text);
let games = 0, samples = 0, skipped = 0;
for (const game of parsePgn(text.toString('utf8'))) {
  const result = game.headers.get('Result');
  if (!['1-0', '0-1', '1/2-1/2'].includes(result)) continue;
  const start = startingPosition(game.headers);
  if (start.isErr) continue;
  const pos = start.value;
  games++;
  for (const node of game.moves.mainline()) {
    const move = parseSan(pos, node.san);
    if (!move) break;
    const comment = (node.comments || []).join(' ');
    const s = SCORE_RE.exec(comment);
    if (s && s[2] !== 'M') {
      const cp = (s[1] === '-' ? -1 : 1) * Math.round(parseFloat(s[3]) * 100);
      const white = pos.turn === 'white';
      const outcome = result === '1/2-1/2' ? 1 : (result === '1-0') === white ? 0 : 2;  // 0 win 1 draw 2 loss
      const key = material(pos) * 100000 + (Math.round(cp / 5) * 5 + 50000);
      let c = cells.get(key);
      if (!c) cells.set(key, (c = [0, 0, 0]));
      c[outcome]++;
      samples++;
    } else {
      skipped++;
    }
    pos.play(move);
  }
}
const data = [...cells].map(([key, c]) => ({ M: Math.floor(key / 100000), m: (Math.floor(key / 100000) - MAT_MID) / MAT_HALF, v: (key % 100000) - 50000, c }));

const poly = (p, x) => ((p[0] * x + p[1]) * x + p[2]) * x + p[3];
const sigmoid = (x) => 1 / (1 + Math.exp(-x));

// Negative log-likelihood and its gradient over the eight coefficients (a: 0-3, b: 4-7).
function evaluate(theta) {
  let nll = 0;
  const g = new Float64Array(8);
  for (const { m, v, c } of data) {
    const a = poly(theta.slice(0, 4), m), b = Math.max(1, poly(theta.slice(4), m));
    const w = sigmoid((v - a) / b), l = sigmoid((-v - a) / b);
    const d = Math.max(1e-9, 1 - w - l);
    // d/da and d/db of log w, log l, log d.
    const dw_da = -w * (1 - w) / b, dw_db = -w * (1 - w) * (v - a) / (b * b);
    const dl_da = -l * (1 - l) / b, dl_db = -l * (1 - l) * (-v - a) / (b * b);
    const terms = [
      [Math.log(Math.max(w, 1e-12)), dw_da / w, dw_db / w],
      [Math.log(d), -(dw_da + dl_da) / d, -(dw_db + dl_db) / d],
      [Math.log(Math.max(l, 1e-12)), dl_da / l, dl_db / l],
    ];
    let ga = 0, gb = 0;
    for (let k = 0; k < 3; k++) {
      if (!c[k]) continue;
      nll -= c[k] * terms[k][0];
      ga -= c[k] * terms[k][1];
      gb -= c[k] * terms[k][2];
    }
    const powers = [m * m * m, m * m, m, 1];
    for (let k = 0; k < 4; k++) {
      g[k] += ga * powers[k];
      g[4 + k] += gb * powers[k];
    }
  }
  return { nll, g };
}

// Adam on the mean log-likelihood, from a flat start (a = 150 cp, b = 80 cp).
let theta = [0, 0, 0, 150, 0, 0, 0, 80];
const mom = new Float64Array(8), vel = new Float64Array(8);
const rate = 1.0, beta1 = 0.9, beta2 = 0.999;
let last = Infinity;
for (let step = 1; step <= 20000; step++) {
  const lr = step > 10000 ? rate / 4 : rate;
  const { nll, g } = evaluate(theta);
  for (let k = 0; k < 8; k++) {
    const gk = g[k] / samples;
    mom[k] = beta1 * mom[k] + (1 - beta1) * gk;
    vel[k] = beta2 * vel[k] + (1 - beta2) * gk * gk;
    const mh = mom[k] / (1 - beta1 ** step), vh = vel[k] / (1 - beta2 ** step);
    theta[k] -= lr * mh / (Math.sqrt(vh) + 1e-8);
  }
  if (step % 500 === 0) {
    console.error(`step ${step}: mean nll ${(nll / samples).toFixed(6)}`);
    if (last - nll / samples < 2e-8) break;
    last = nll / samples;
  }
}

const fmt = (p) => p.map((x) => x.toFixed(3)).join(', ');
console.log(`games ${games}, scored positions ${samples}, unscored or mate ${skipped}`);
console.log(`constexpr double WDL_A[4] = {${fmt(theta.slice(0, 4))}};`);
console.log(`constexpr double WDL_B[4] = {${fmt(theta.slice(4))}};`);

// Predicted against observed rates, by material band and score band.
console.log('material  score      n    win obs/fit   draw obs/fit   loss obs/fit');
const bands = [[17, 30], [31, 45], [46, 60], [61, 78]];
const scoreBands = [[-400, -201], [-200, -101], [-100, -31], [-30, 30], [31, 100], [101, 200], [201, 400]];
for (const [m0, m1] of bands) {
  for (const [v0, v1] of scoreBands) {
    let n = 0, obs = [0, 0, 0], fit = [0, 0, 0];
    for (const { M, m, v, c } of data) {
      if (M < m0 || M > m1 || v < v0 || v > v1) continue;
      const a = poly(theta.slice(0, 4), m), b = Math.max(1, poly(theta.slice(4), m));
      const w = sigmoid((v - a) / b), l = sigmoid((-v - a) / b);
      const cnt = c[0] + c[1] + c[2];
      n += cnt;
      for (let k = 0; k < 3; k++) obs[k] += c[k];
      fit[0] += w * cnt; fit[1] += (1 - w - l) * cnt; fit[2] += l * cnt;
    }
    if (!n) continue;
    const pct = (x) => (100 * x / n).toFixed(1).padStart(5);
    console.log(`${String(m0).padStart(2)}-${String(m1).padEnd(4)} ${String(v0).padStart(5)}..${String(v1).padEnd(5)} ${String(n).padStart(6)}  ` +
      `${pct(obs[0])}/${pct(fit[0])}    ${pct(obs[1])}/${pct(fit[1])}    ${pct(obs[2])}/${pct(fit[2])}`);
  }
}
