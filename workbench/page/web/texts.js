// The page's own words, in one place for translation. Texts that come from the workbench (the
// module's messages, the host's errors, setup names) are shown as they arrive.
import { localize } from './messages.js';

export const T = {
  // The connection.
  loading: 'Loading\u2026',
  live: 'Live',
  lost: 'Reconnecting\u2026',
  ended: 'Session ended',
  // The setups list.
  loadingSetups: 'Loading setups\u2026',
  masterFile: 'Master file',
  designLibrary: 'Design library',
  noMasterFile: 'No master file',
  noMasterFileOpen: 'No master file open',
  noSetups: 'No setups',
  modifiedMark: 'Modified: not saved',
  sameAsLibrary: 'Same as the library setup',
  differsFromLibrary: 'Differs from the library setup',
  badgeGone: 'gone',
  badgeTitle: (setup, file, summary) => `From \u201C${setup}\u201D in ${file}: ${summary}`,
  unsaved: (count) => `${count} unsaved`,
  recentlyDeleted: 'Recently deleted',
  deletedGroupNote: 'Select one to restore it',
  deletedBy: (user, when) => `Deleted by ${user} on ${when}`,
  // The values.
  selectASetup: 'Select a setup to see its values.',
  loadingValues: 'Loading values\u2026',
  modified: 'Modified',
  libraryReadOnly: 'Library \u00B7 read-only',
  libraryNote: 'Library setups cannot be changed here. Copy it into the master file to edit it.',
  // Which of several libraries' setups of one name the module takes.
  pickNote: (name, file) => `Copy from library, update and compare take \u201C${name}\u201D from ${file}, the library whose file name sorts first.`,
  // History.
  historyOf: (name) => `History of \u201C${name}\u201D`,
  deletedTitle: (name) => `\u201C${name}\u201D \u2014 deleted`,
  loadingHistory: 'Loading history\u2026',
  noVersions: 'No versions yet: the first save that replaces what is stored keeps one.',
  versionsNote: (count) => `${count} version${count === 1 ? '' : 's'}, newest first. Each is the state an action replaced: pick one to see it beside the setup now.`,
  deletedNote: (user, when) => `Deleted by ${user} on ${when}. Restore stores it again in the master file, at its place, with its values, origin and history.`,
  versionsLabel: (name) => `Versions of \u201C${name}\u201D`,
  versionHeading: (n) => `Version ${n}`,
  now: 'Now',
  whenDeleted: 'When deleted',
  restoreVersion: (n) => `Restore version ${n}`,
  restoreNote: 'Restore brings its values back as edits: Save keeps them, Reset drops them.',
  restoredNote: 'The setup holds these values now.',
  undeleteMarker: 'This version marks where the setup came back after it was deleted; the one before it holds its values.',
  restoreDeleted: 'Restore',
  restoreDeletedAs: 'Restore as\u2026',
  compareTitle: (a, b) => `\u201C${a}\u201D beside \u201C${b}\u201D`,
  comparePick: (name) => `Comparing with \u201C${name}\u201D: pick a setup in the list (Esc ends).`,
  compareNeedsValues: 'Pick a setup of the master file or of a library to compare with.',
  differing: (n, all) => n === 0 ? `Every one of the ${all} values is the same.` : `${n} of ${all} values differ.`,
  allValues: (n) => `The ${n} values it had.`,
  showEqual: (n) => `Show the ${n} equal value${n === 1 ? '' : 's'}`,
  restoredUnsaved: 'The setup holds these values now, not saved: Save keeps them, Reset drops them.',
  hideEqual: 'Hide the equal values',
  otherPickNote: (name, file) => `Another library offers \u201C${name}\u201D too; copy from library, update and compare take the one in ${file}, whose file name sorts first.`,
};

// In the session's language: each entry's text is the catalogue's "Page_" + its name, this one
// standing in until a translation has it.
localize(T, 'Page_');
