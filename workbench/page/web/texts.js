// The page's own words, in one place for translation. Texts that come from the workbench (the
// module's messages, the host's errors, setup names) are shown as they arrive.
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
  // The values.
  selectASetup: 'Select a setup to see its values.',
  loadingValues: 'Loading values\u2026',
  modified: 'Modified',
  libraryReadOnly: 'Library \u00B7 read-only',
  libraryNote: 'Library setups cannot be changed here. Copy it into the master file to edit it.',
  // Which of several libraries' setups of one name the module takes.
  pickNote: (name, file) => `Copy from library, update and compare take \u201C${name}\u201D from ${file}, the library whose file name sorts first.`,
  otherPickNote: (name, file) => `Another library offers \u201C${name}\u201D too; copy from library, update and compare take the one in ${file}, whose file name sorts first.`,
};
