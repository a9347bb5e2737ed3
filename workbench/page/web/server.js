// Talking to the workbench: the panel's picture arrives as server-sent events; every user action
// is posted as a form and runs on the workbench's user-interface thread.

/** Calls onPicture with each new picture, onStatus with 'live', 'lost' or 'ended'. */
export function subscribe(onPicture, onStatus) {
  const source = new EventSource('events');
  source.onopen = () => onStatus('live');
  source.onmessage = (event) => onPicture(JSON.parse(event.data));
  source.addEventListener('closed', () => {
    source.close();
    onStatus('ended');
  });
  source.onerror = () => {
    if (source.readyState === EventSource.CLOSED) onStatus('ended');
    else onStatus('lost');
  };
  return source;
}

async function post(fields) {
  const body = new URLSearchParams();
  for (const [key, value] of fields) body.append(key, value);
  const response = await fetch('action', { method: 'POST', body });
  if (!response.ok) throw new Error((await response.text()).trim() || `HTTP ${response.status}`);
  return response.json();
}

/**
 * Runs a workbench command, as the panel's button of that name. Resolves to
 * { done: true, errors: [...] } once it ran (errors: the lines it printed as errors), or to
 * { queued: true } when the workbench is still busy with something else.
 */
export function command(...words) {
  return post([['action', 'command'], ...words.map((w) => ['w', w])]);
}

/** A library setup is named by its library's file too: two libraries may offer one name. */
export function select(group, name, library = '') {
  return post([['action', 'select'], ['group', group], ['name', name], ['library', library]]);
}

export function answer(id, yes) {
  return post([['action', 'answer'], ['id', String(id)], ['answer', yes ? 'yes' : 'no']]);
}

export function dismiss(id) {
  return post([['action', 'dismiss'], ['id', String(id)]]);
}
