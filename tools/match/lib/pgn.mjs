// PGN text of a finished game record (see playGame). Standard games start
// from the standard position, the opening being part of the move list, so no
// FEN tag is needed; a Chess960 game carries its variant and its starting
// position (X-FEN) in the Variant, SetUp and FEN tags.

function tagValue(v) {
  return String(v).replace(/\\/g, '\\\\').replace(/"/g, '\\"');
}

function pgnDate(d) {
  const two = (n) => String(n).padStart(2, '0');
  return `${d.getFullYear()}.${two(d.getMonth() + 1)}.${two(d.getDate())}`;
}

function comment(text) {
  return `{${String(text).replace(/[{}]/g, '').replace(/\s+/g, ' ').trim()}}`;
}

// Joins tokens into lines of at most 79 characters.
function wrap(tokens) {
  const lines = [];
  let line = '';
  for (const tok of tokens) {
    if (line === '') line = tok;
    else if (line.length + 1 + tok.length <= 79) line += ' ' + tok;
    else {
      lines.push(line);
      line = tok;
    }
  }
  if (line !== '') lines.push(line);
  return lines.join('\n');
}

export function gamePgn(rec, { event, tc }) {
  const tags = [
    ['Event', event],
    ['Site', '?'],
    ['Date', pgnDate(rec.date)],
    ['Round', String(rec.number)],
    ['White', rec.white],
    ['Black', rec.black],
    ['Result', rec.result],
    ['TimeControl', tc.text],
    ['Termination', rec.termination],
    ['Opening', rec.opening],
    ['PlyCount', String(rec.moves.length)],
  ];
  if (rec.variant) tags.push(['Variant', rec.variant], ['SetUp', '1'], ['FEN', rec.fen]);
  // The reason the game ended joins the last move's comment: two comments
  // in a row are valid PGN, but not every reader (chess.js) takes them.
  const comments = rec.moves.map((m) => m.comment);
  if (rec.reason) {
    const last = comments.length - 1;
    if (last >= 0 && comments[last]) comments[last] += `, ${rec.reason}`;
    else if (last >= 0) comments[last] = rec.reason;
  }
  const tokens = [];
  if (rec.moves.length === 0 && rec.reason) tokens.push(...comment(rec.reason).split(' '));
  rec.moves.forEach((m, k) => {
    if (k % 2 === 0) tokens.push(`${k / 2 + 1}.`);
    tokens.push(m.san);
    if (comments[k]) tokens.push(...comment(comments[k]).split(' '));
  });
  tokens.push(rec.result);
  const head = tags.map(([k, v]) => `[${k} "${tagValue(v)}"]`).join('\n');
  return `${head}\n\n${wrap(tokens)}\n\n`;
}
