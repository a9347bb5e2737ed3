// Asks for the page's first snapshot as the page starts, beside its script rather than once the
// script runs, then opens the event stream from that snapshot's version; what the stream brings
// before server.js takes it waits here. A classic script, run before any module.
'use strict';
if (!window.earlyEvents) {
  window.earlyEvents = fetch('snapshot')
    // 204: the workbench was busy, and the stream brings the snapshot instead.
    .then((response) => (response.status === 200 ? response.json() : null))
    .catch(() => null)
    .then((first) => {
      if (typeof EventSource === 'undefined') return null;
      // Without a snapshot the stream starts with one.
      const source = new EventSource(first ? `events?after=${first.version}` : 'events');
      const early = { source, first, events: [], taken: false };
      const keep = (event) => {
        if (!early.taken) early.events.push(event);
      };
      for (const type of ['open', 'snapshot', 'message', 'closed', 'error']) source.addEventListener(type, keep);
      return early;
    });
}
