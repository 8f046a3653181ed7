// A small seeded random source (mulberry32) and the choices the session
// scripts make with it. Everything a session decides comes from here, so a
// seed replays the same decisions (the engine's own timing may still differ).

export function mulberry32(seed) {
  let a = seed >>> 0;
  return () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

export class Rng {
  constructor(seed) {
    this.next = mulberry32(seed);
  }
  // An integer in [lo, hi], both included.
  int(lo, hi) {
    return lo + Math.floor(this.next() * (hi - lo + 1));
  }
  chance(p) {
    return this.next() < p;
  }
  pick(list) {
    if (list.length === 0) throw new Error('pick from an empty list');
    return list[Math.floor(this.next() * list.length)];
  }
  // entries: [[value, weight], ...]; entries of weight 0 are never chosen.
  weighted(entries) {
    const live = entries.filter(([, w]) => w > 0);
    const total = live.reduce((s, [, w]) => s + w, 0);
    if (total <= 0) throw new Error('weighted choice with nothing to choose');
    let r = this.next() * total;
    for (const [v, w] of live) {
      r -= w;
      if (r < 0) return v;
    }
    return live[live.length - 1][0];
  }
}
