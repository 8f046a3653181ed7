// The one scorer of the match tool and of every script that plays games
// through it: the score of an engine over a list of games, its Elo
// difference with a 95% interval, the outcomes of the game pairs, and the
// sequential probability ratio test (SPRT) over those pairs.
//
// Games are {number, white, black, result}. Game 2k-1 and game 2k are a
// pair: the same opening with the colours swapped. A game without a result
// ("*", a game cut short) counts for neither side and is not a game played;
// a pair counts only when both its games have a result.

const LN10 = Math.log(10);

// The expected score of a side rated `elo` above its opponent (logistic Elo).
export function logisticScore(elo) {
  return 1 / (1 + 10 ** (-elo / 400));
}

// The logistic Elo difference of a score; -Infinity at 0 and Infinity at 1.
export function eloOfScore(s) {
  if (s <= 0) return -Infinity;
  if (s >= 1) return Infinity;
  return -400 * Math.log10(1 / s - 1) + 0; // + 0: an even score is 0, not -0
}

// Points of `name` in one game: 1, 0.5 or 0; null when the game has no
// result or `name` did not play in it.
export function gamePoints(game, name) {
  const white = game.white === name;
  if (!white && game.black !== name) return null;
  if (game.result === '1/2-1/2') return 0.5;
  if (game.result === '1-0') return white ? 1 : 0;
  if (game.result === '0-1') return white ? 0 : 1;
  return null;
}

// Pair outcomes of `name`, indexed by the points of the pair times two:
// [LL, LD, DD or WL, WD, WW].
export function pentanomial(games, name) {
  const pairs = new Map();
  for (const g of games) {
    const key = Math.floor((g.number - 1) / 2);
    if (!pairs.has(key)) pairs.set(key, []);
    pairs.get(key).push(gamePoints(g, name));
  }
  const counts = [0, 0, 0, 0, 0];
  for (const points of pairs.values()) {
    if (points.length !== 2 || points.includes(null)) continue;
    counts[Math.round(2 * (points[0] + points[1]))]++;
  }
  return counts;
}

// The score of `name` over `games`: wins, draws, losses, the points and the
// share of the points, the Elo difference and its 95% interval (from the
// spread of the single game results about the mean, as a normal
// approximation; -Infinity or Infinity at a score of 0 or 1; null without
// games), and the pair outcomes.
export function scoreGames(games, name) {
  let w = 0;
  let d = 0;
  let l = 0;
  for (const g of games) {
    const p = gamePoints(g, name);
    if (p === 1) w++;
    else if (p === 0.5) d++;
    else if (p === 0) l++;
  }
  const n = w + d + l;
  const points = w + d / 2;
  const s = n ? points / n : 0.5;
  const variance = n ? (w * (1 - s) ** 2 + d * (0.5 - s) ** 2 + l * s ** 2) / n : 0;
  const margin = 1.96 * Math.sqrt(variance / Math.max(n, 1));
  return {
    engine: name,
    games: n,
    wins: w,
    draws: d,
    losses: l,
    points,
    percent: n ? (100 * points) / n : 0,
    elo: n ? eloOfScore(s) : null,
    eloLow: n ? eloOfScore(s - margin) : null,
    eloHigh: n ? eloOfScore(s + margin) : null,
    pentanomial: pentanomial(games, name),
  };
}

// A score for a JSON report, where an infinite Elo figure is null; the
// figures as the summary prints them are added as eloText ("+80", "-inf")
// and intervalText ("+47 to +114"), "n/a" without games.
export function jsonScore(sc) {
  const finite = (x) => (Number.isFinite(x) ? x : null);
  return {
    ...sc,
    elo: finite(sc.elo),
    eloLow: finite(sc.eloLow),
    eloHigh: finite(sc.eloHigh),
    eloText: formatElo(sc.elo),
    intervalText: sc.games ? `${formatElo(sc.eloLow)} to ${formatElo(sc.eloHigh)}` : 'n/a',
  };
}

// An Elo figure as the reports print it: "+80", "-17", "0", "-inf", "+inf".
export function formatElo(x, { digits = 0 } = {}) {
  if (x === null || x === undefined) return 'n/a';
  if (x === Infinity) return '+inf';
  if (x === -Infinity) return '-inf';
  const t = x.toFixed(digits);
  return Number(t) > 0 ? `+${t}` : Number(t) === 0 ? (0).toFixed(digits) : t;
}

// The bounds of the log-likelihood ratio for error rates alpha (accepting
// H1 when H0 holds) and beta (accepting H0 when H1 holds).
export function sprtBounds(alpha, beta) {
  return { lower: Math.log(beta / (1 - alpha)), upper: Math.log((1 - beta) / alpha) };
}

// The log-likelihood ratio of H1 (elo1) against H0 (elo0) for the pair
// outcomes `counts` [LL, LD, DD/WL, WD, WW]: the generalised SPRT, which
// treats the mean pair score as normally distributed with the spread
// measured from the pairs themselves, so that
//   LLR = N (s1 - s0) (2 m - s0 - s1) / (2 v)
// with N pairs, m their mean score (a pair scoring 0, 1/4, 1/2, 3/4 or 1)
// and v its variance. With model "logistic" the hypotheses are logistic
// Elo differences, s = 1 / (1 + 10^(-elo / 400)); with "normalized" they
// are normalised Elo (Elo per standard deviation of a game result), s = 1/2
// + elo sqrt(2) ln 10 / 800 sd, sd the spread of a pair score. Every count
// is taken as at least 0.001, so that a start with one kind of pair only
// still has a spread.
export function sprtLlr(counts, elo0, elo1, model = 'logistic') {
  if (counts.reduce((a, b) => a + b, 0) === 0) return 0;
  const c = counts.map((x) => Math.max(x, 1e-3));
  const n = c.reduce((a, b) => a + b, 0);
  const mean = c.reduce((a, x, i) => a + (x * i) / 4, 0) / n;
  const variance = c.reduce((a, x, i) => a + x * (i / 4 - mean) ** 2, 0) / n;
  let s0;
  let s1;
  if (model === 'normalized') {
    const k = (Math.SQRT2 * LN10 * Math.sqrt(variance)) / 800;
    s0 = 0.5 + elo0 * k;
    s1 = 0.5 + elo1 * k;
  } else {
    s0 = logisticScore(elo0);
    s1 = logisticScore(elo1);
  }
  return (n * (s1 - s0) * (2 * mean - s0 - s1)) / (2 * variance);
}

// The state of a test after the pairs `counts`: the LLR, and 'H1' or 'H0'
// once it has crossed a bound, else null.
export function sprtState(counts, sprt) {
  const llr = sprtLlr(counts, sprt.elo0, sprt.elo1, sprt.model);
  const { lower, upper } = sprtBounds(sprt.alpha, sprt.beta);
  return { llr, lower, upper, verdict: llr >= upper ? 'H1' : llr <= lower ? 'H0' : null };
}

// "LLR: 1.23 (-2.94, 2.94)"
export function llrLine(state) {
  return `LLR: ${state.llr.toFixed(2)} (${state.lower.toFixed(2)}, ${state.upper.toFixed(2)})`;
}

// The games of a PGN text: the White, Black, Result and Round tags of each
// (a game without a numeric Round is numbered by its place in the file).
export function gamesFromPgn(text) {
  const games = [];
  let tags = null;
  for (const line of text.split(/\r?\n/)) {
    const m = /^\[(\w+)\s+"((?:[^"\\]|\\.)*)"\]\s*$/.exec(line);
    if (m) {
      if (tags === null) tags = {};
      tags[m[1]] = m[2].replace(/\\(.)/g, '$1');
    } else if (tags !== null && line.trim() !== '') {
      games.push(tags);
      tags = null;
    }
  }
  if (tags !== null) games.push(tags);
  return games.map((t, k) => ({
    number: /^\d+$/.test(t.Round ?? '') ? Number(t.Round) : k + 1,
    white: t.White ?? '?',
    black: t.Black ?? '?',
    result: t.Result ?? '*',
  }));
}
