// The office standards as the page reads them from a setup's values: who governs each value,
// its lock and reason, the drawing's override, the notes; what a scoped Update takes, what
// Update from library drops, and the lines of the "Why?" answer.
import { sameValue, propertyInfo } from './catalogue.js';
import { T } from './texts.js';

/**
 * Where one value stands, from the values' "standards" (null: none) of a master-file setup or
 * of a library setup: { layer: the label of the library setup that governs it, or null, lock:
 * its reason, or null, override: { reason, by, at } or null, note: the library's note, or '',
 * ownNote: the drawing's own, or '' }.
 */
export function standingOf(standards, property) {
  if (standards && !standards.governed) {
    // A library setup: its locks and notes are the library's own.
    return { layer: null, lock: standards.locks?.[property] ?? null, override: null,
      note: standards.notes?.[property] ?? '', ownNote: '' };
  }
  const governed = standards?.governed?.[property];
  return {
    layer: governed ? standards.layers[governed.layer]?.label ?? null : null,
    lock: governed?.lock ?? null,
    override: governed?.override ?? null,
    note: governed?.note ?? '',
    ownNote: standards?.notes?.[property] ?? '',
  };
}

/** Whether the page keeps the value's field read-only: locked and not overridden. */
export const isLockedHere = (standing) => Boolean(standing.lock) && !standing.override;

/**
 * What Update does to a master-file setup whose values data holds (with its exact texts): for a
 * setup whose library setups govern some values only, { scoped: true, label, governs, edits:
 * [[property, library text]] for each governed value that differs and is not overridden (a
 * locked one goes back to the library's value, as apply puts it), kept: properties overridden
 * and so kept };
 * for any other, { scoped: false, dropped: the properties whose overrides the full copy drops }.
 */
export function updatePlan(data, exact) {
  const standards = data?.standards;
  const governed = Object.entries(standards?.governed ?? {});
  const dropped = governed.filter(([, value]) => value.override).map(([property]) => property);
  const scoped = (standards?.layers ?? []).some((layer) => layer.scoped || layer.overlay);
  if (!scoped) return { scoped: false, dropped };
  const plan = { scoped: true, label: standards.layers.at(-1).label, governs: governed.length, edits: [], kept: [] };
  for (const [property, value] of governed) {
    const now = exact.get(property);
    if (now !== undefined && sameValue(propertyInfo(property).type, now, value.library)) continue;
    if (value.override) plan.kept.push(property);
    else plan.edits.push([property, value.library]);
  }
  return plan;
}

/**
 * The "Why?" answer of one value as lines, in the order the workbench's why walks them; words(text)
 * writes a value as the page shows it, when(iso) a time.
 */
export function whyLines(why, words, when) {
  if (why.error) return [why.error];
  const lines = [T.whyNow(words(why.now))];
  if (why.saved !== undefined && why.saved !== why.now) lines.push(T.whySaved(words(why.saved)));
  lines.push(T.whyDefault(words(why.default)));
  if (why.layer) {
    lines.push(why.layer.overlay ? T.whyOverlay(why.layer.label) : T.whyGoverned(why.layer.label));
    if (why.shadowed) lines.push(T.whyShadowed);
    if (why.layer.gone) lines.push(T.whyLibraryGone);
    else if (why.libraryChanged) lines.push(T.whyLibraryChanged(words(why.base), words(why.library)));
    else lines.push(T.whyLibraryUnchanged);
  } else {
    lines.push(T.whyOwn);
  }
  if (why.lock) lines.push(T.whyLocked(why.lock));
  if (why.override) {
    lines.push(why.override.by ? T.overriddenBy(why.override.by, why.override.reason) : T.overriddenUnsaved(why.override.reason));
  }
  const change = why.lastChange;
  if (change) {
    let action = change.action;
    if (change.before || change.after) action = `${action}: ${words(change.before)} \u2192 ${words(change.after)}`;
    if (change.override) action = T.whyActionOverride(action, change.override);
    lines.push(T.whyLastChange(change.number, change.madeBy, when(change.madeAt), action));
  } else {
    lines.push(T.whyNoChange);
  }
  if (why.libraryDescription) lines.push(T.whyLibraryDescription(why.libraryDescription));
  if (why.libraryNote) lines.push(T.libraryNoteLine(why.libraryNote));
  if (why.description) lines.push(T.whyDescription(why.description));
  if (why.note) lines.push(T.whyNote(why.note));
  return lines;
}
