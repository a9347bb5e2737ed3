// The small mark of a setup taken from a library, in the list: what moved on which side since.
import { T, driftSummary } from './texts.js';
import { baseName } from './format.js';

/** The badge of a row's origin ({ counts, gone, librarySetup, libraryFile }). */
export function originBadge(origin) {
  const badge = document.createElement('span');
  const c = origin.counts;
  const parts = [];
  if (c['changed in library']) parts.push(`\u2193${c['changed in library']}`);
  if (c['changed here']) parts.push(`\u270E${c['changed here']}`);
  if (c.conflict) parts.push(`!${c.conflict}`);
  const state = origin.gone ? 'gone' : c.conflict ? 'conflict' : c['changed in library'] ? 'newer'
    : c['changed here'] ? 'local' : 'current';
  badge.className = `origin-badge ${state}`;
  badge.textContent = origin.gone ? T.badgeGone : parts.join(' ') || '\u2713';
  badge.title = T.badgeTitle(origin.librarySetup, baseName(origin.libraryFile), driftSummary(origin));
  badge.setAttribute('aria-label', badge.title);
  return badge;
}
