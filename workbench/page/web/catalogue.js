// The renderer's settings as the panel shows them: sections, labels, one-line descriptions and
// the type of each value. Types: bool, u32, i32, u64, f64.
import { sectionKey, text } from './messages.js';
import { T } from './texts.js';

export const SECTIONS = [
  ['Camera and output', [
    ['CameraProjection', 'u32', 'Projection', 'How the camera maps the scene onto the image'],
    ['Outputs', 'u64', 'Output channels', 'Which passes the renderer writes besides colour and alpha'],
    ['RenderAll', 'bool', 'Render all', 'Render every element, not just the visible selection'],
    ['Stereo', 'bool', 'Stereo', 'Render a left and a right eye image'],
    ['InterocularDistance', 'f64', 'Interocular distance', 'Distance between the eyes, in metres'],
    ['ConvergenceDistance', 'f64', 'Convergence distance', 'Where the two eyes\u2019 lines of sight meet, in metres'],
    ['UseFocalLengthForConvergence', 'bool', 'Converge at focal length', 'Use the camera\u2019s focal distance for convergence'],
    ['DepthOfField', 'bool', 'Depth of field', 'Blur what lies outside the focal plane'],
    ['DoMotionBlur', 'bool', 'Motion blur', 'Blur moving objects along their path'],
    ['BlurMethod', 'u32', 'Blur method', 'What motion blur follows'],
    ['BlurPasses', 'u32', 'Blur passes', 'Sub-frames rendered for motion blur'],
  ]],
  ['Quality and stopping', [
    ['MaxSamplesPerPixel', 'u32', 'Samples per pixel', 'Most samples taken for one pixel'],
    ['StopAfterMaxSmaples', 'bool', 'Stop at sample limit', 'End the render when every pixel has its samples'],
    ['MaxRenderTimeMinutes', 'u32', 'Time limit (min)', 'Longest time the render may take'],
    ['StopAfterMaxTime', 'bool', 'Stop at time limit', 'End the render when the time limit is reached'],
    ['MinQualityThreshold', 'u32', 'Target quality (%)', 'Quality at which the render may end'],
    ['StopAfterMinQuality', 'bool', 'Stop at target quality', 'End the render when the target quality is reached'],
    ['ShowSamples', 'bool', 'Show samples', 'Draw where samples fall while rendering'],
    ['CreateNormalAlbedoPasses', 'bool', 'Normal and albedo passes', 'Write the passes a denoiser needs'],
  ]],
  ['Lighting', [
    ['LightingModel', 'u32', 'Lighting model', 'How light is computed'],
    ['IgnoreDefaultLighting', 'bool', 'Ignore default lighting', 'Use only the lights of the model'],
    ['AmbientOcclusionRange', 'f64', 'Ambient occlusion range', 'Distance within which surfaces darken each other'],
    ['AlbedoScale', 'f64', 'Albedo scale', 'Factor on how much light surfaces reflect'],
    ['IndirectSamples', 'u32', 'Indirect samples', 'Rays traced for light that bounces'],
    ['AdaptiveSampling', 'bool', 'Adaptive sampling', 'Spend more rays where the image is noisy'],
    ['RenderClouds', 'bool', 'Render clouds', 'Include the sky\u2019s clouds'],
  ]],
  ['Shadows, reflection and transparency', [
    ['DoShadows', 'bool', 'Shadows', 'Cast shadows'],
    ['ShadowQuality', 'i32', 'Shadow quality', 'Set by the renderer; not changed from this panel'],
    ['DoReflections', 'bool', 'Reflections', 'Trace reflected rays'],
    ['ReflectDepth', 'u32', 'Reflection depth', 'Most reflections a ray follows'],
    ['DoTransparency', 'bool', 'Transparency', 'Trace rays through transparent materials'],
    ['RefractDepth', 'u32', 'Refraction depth', 'Most refractions a ray follows'],
    ['ForceDoubleSided', 'bool', 'Force double-sided', 'Treat every surface as having two sides'],
  ]],
  ['Anti-aliasing', [
    ['ObjectAntiAlias', 'bool', 'Anti-alias objects', 'Smooth the edges of objects'],
    ['RegularSubPixelSampling', 'bool', 'Regular sub-pixel sampling', 'Place samples on a grid instead of at random'],
    ['AntiAliasStrategy', 'u32', 'Strategy', 'How samples per pixel are chosen'],
    ['MinAASamples', 'u32', 'Minimum samples', 'Fewest anti-aliasing samples per pixel'],
    ['MaxAASamples', 'u32', 'Maximum samples', 'Most anti-aliasing samples per pixel'],
    ['QualityThreshold', 'f64', 'Quality threshold', 'Colour difference that calls for more samples'],
    ['GeometryQualityThreshold', 'f64', 'Geometry threshold', 'Edge difference that calls for more samples'],
    ['JitterMode', 'u32', 'Jitter', 'How sample positions are varied'],
    ['JitterBucketSize', 'u32', 'Jitter bucket', 'Pixels per jitter pattern'],
    ['PixelStrokeTolerance', 'f64', 'Stroke tolerance', 'Line width, in pixels, below which strokes are merged'],
  ]],
  ['Textures', [
    ['TextureAntiAlias', 'bool', 'Anti-alias textures', 'Filter textures seen at a distance'],
    ['TextureFiltering', 'f64', 'Filtering', 'Strength of the texture filter'],
    ['TexelsPerRayMin', 'u32', 'Texels per ray, min', 'Fewest texels read for one ray'],
    ['TexelsPerRayMax', 'u32', 'Texels per ray, max', 'Most texels read for one ray'],
    ['TextureQualityThreshold', 'f64', 'Quality threshold', 'Texture difference that calls for more texels'],
  ]],
  ['Radiosity', [
    ['RadiosityIndirectSkyLighting', 'bool', 'Indirect sky lighting', 'Let sky light bounce'],
    ['RadiosityIndirectAtmospherics', 'bool', 'Indirect atmospherics', 'Let haze and fog take part in bounces'],
    ['RadiosityOptimizeForOutdoor', 'bool', 'Optimise for outdoor', 'Tune photon use for open scenes'],
    ['RadiosityPhotons', 'u32', 'Photons', 'Photons shot for radiosity'],
    ['MaxRadiosityTraceLevel', 'u32', 'Trace depth', 'Most bounces a photon follows'],
    ['PhotonDecay', 'f64', 'Photon decay', 'How fast photon energy falls with distance'],
    ['GatherRadiosityPhotons', 'u32', 'Photons gathered', 'Photons averaged at each point'],
    ['GatherRadiosityRadiusMeters', 'f64', 'Gather radius (m)', 'Distance within which photons are gathered'],
    ['HarmonicDistanceQuality', 'f64', 'Harmonic distance', 'Quality of the harmonic distance estimate'],
    ['AlignmentQuality', 'f64', 'Alignment', 'Quality of surface alignment'],
    ['ContinuityQuality', 'f64', 'Continuity', 'Quality of continuity between samples'],
    ['ContrastQuality', 'f64', 'Contrast', 'Quality of contrast between samples'],
  ]],
  ['Caustics', [
    ['GenerateAllCaustics', 'bool', 'Generate all caustics', 'Caustics from every light and surface'],
    ['CausticPhotons', 'u32', 'Photons', 'Photons shot for caustics'],
    ['MaxCausticTraceLevel', 'u32', 'Trace depth', 'Most bounces a caustic photon follows'],
    ['GatherCausticPhotons', 'u32', 'Photons gathered', 'Photons averaged at each point'],
    ['GatherCausticRadiusMeters', 'f64', 'Gather radius (m)', 'Distance within which photons are gathered'],
  ]],
  ['Geometry', [
    ['IgnoreLinear', 'bool', 'Ignore linear elements', 'Leave lines and curves out of the render'],
    ['UseToleranceOverride', 'bool', 'Override tolerance', 'Use the tolerance below instead of the model\u2019s'],
    ['ToleranceOverrideMeters', 'f64', 'Tolerance (m)', 'Largest distance between a surface and its facets'],
  ]],
];

// In the session's language; the English texts above stand in for what its catalogue lacks.
for (const section of SECTIONS) {
  section[0] = text(sectionKey(section[0]), section[0]);
  for (const row of section[1]) {
    row[2] = text(`Property_${row[0]}`, row[2]);
    row[3] = text(`Property_${row[0]}_Description`, row[3]);
  }
}

const BY_NAME = new Map();
for (const [section, rows] of SECTIONS) {
  for (const [name, type, label, description] of rows) {
    BY_NAME.set(name, { name, type, label, description, section });
  }
}

/** What the panel knows of a property; a name it does not know is shown as text. */
export function propertyInfo(name) {
  return BY_NAME.get(name) ??
      { name, type: 'text', label: name, description: T.notKnown, section: T.otherSection };
}

/** Values the renderer cannot take through the panel. */
export const READ_ONLY = new Set(['ShadowQuality']);

const U32_MAX = 4294967295n;

/**
 * The text to send for what the user typed, or an error message. Nothing is sent for a text
 * that is not a value of the type.
 */
export function checkText(type, text) {
  const t = text.trim();
  if (type === 'u32') {
    if (!/^\d+$/.test(t)) return { error: T.wholeNumber };
    if (BigInt(t) > U32_MAX) return { error: T.atMost };
    return { text: BigInt(t).toString() };
  }
  if (type === 'f64') {
    if (!/^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$/.test(t)) return { error: T.enterNumber };
    const v = Number(t);
    if (!Number.isFinite(v)) return { error: T.tooLarge };
    return { text: t };
  }
  if (type === 'bool') {
    if (t !== 'true' && t !== 'false') return { error: T.trueOrFalse };
    return { text: t };
  }
  return { text };
}

/** A value as a person reads it: numbers without trailing zeros. */
export function shownText(type, text) {
  if (type === 'f64' && /^[+-]?\d+\.\d+$/.test(text)) {
    return text.replace(/(\.\d*?)0+$/, '$1').replace(/\.$/, '');
  }
  return text;
}

const asInteger = (text) => (/^[+-]?\d+$/.test(text.trim()) ? BigInt(text.trim()) : null);
const WIDTH = { u32: 32, u64: 64 };

/**
 * The text to send for a value as the panel or the host wrote it: the panel writes unsigned
 * values as signed decimals ("-1"), the editors send them unsigned.
 */
export function sendableText(type, text) {
  const width = WIDTH[type];
  const n = width ? asInteger(text) : null;
  return n === null ? text : BigInt.asUintN(width, n).toString();
}

/** Whether two texts of a value of that type are the same value ("0.500000" and "0.5" are). */
export function sameValue(type, a, b) {
  if (a === b) return true;
  if (a === undefined || b === undefined || a === null || b === null) return false;
  if (type === 'f64') return Number(a) === Number(b) && a.trim() !== '' && b.trim() !== '';
  if (WIDTH[type] || type === 'i32') {
    const x = asInteger(a);
    const y = asInteger(b);
    if (x === null || y === null) return false;
    return WIDTH[type] ? BigInt.asUintN(WIDTH[type], x) === BigInt.asUintN(WIDTH[type], y) : x === y;
  }
  return false;
}

/**
 * A value as its editor shows it, in words: Yes/No for a check box, the renderer's name of an
 * enumerated value, the output channels by name.
 */
export function displayText(name, text, labels, outputs) {
  const info = propertyInfo(name);
  if (text === undefined || text === null) return '';
  if (info.type === 'bool') return text === 'true' ? T.boolYes : text === 'false' ? T.boolNo : text;
  if (name === 'Outputs') {
    const n = asInteger(text);
    if (n === null) return text;
    const bits = BigInt.asUintN(64, n);
    const names = (outputs ?? []).filter(([bit]) => ((bits >> BigInt(bit)) & 1n) === 1n).map(([, label]) => label);
    return names.length ? names.reduce((line, label) => T.joined(line, label)) : T.noChannels;
  }
  const named = labels?.[name];
  if (named && (info.type === 'u32' || info.type === 'i32')) {
    const n = asInteger(text);
    const value = n === null ? text : (info.type === 'u32' ? BigInt.asUintN(32, n) : n).toString();
    const found = named.find(([v]) => String(v) === value);
    if (found) return found[1];
  }
  if (info.type === 'u32' || info.type === 'u64') return sendableText(info.type, text);
  return shownText(info.type, text);
}
