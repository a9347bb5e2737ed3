// Modal dialogs: confirmations, a name prompt, the module's message boxes and the host's
// questions. Native <dialog> keeps focus inside and closes on Escape.
import { T } from './texts.js';

const host = () => document.getElementById('dialog-host');

function open({ title, text, buttons, input, list = null, detail = null, role = 'dialog', cancelValue = null }) {
  return new Promise((resolve) => {
    const dialog = document.createElement('dialog');
    dialog.setAttribute('role', role);
    const id = `dlg-${Math.random().toString(36).slice(2)}`;
    dialog.setAttribute('aria-labelledby', `${id}-t`);
    dialog.setAttribute('aria-describedby', `${id}-d`);
    const form = document.createElement('form');
    form.method = 'dialog';
    const h = document.createElement('h2');
    h.id = `${id}-t`;
    h.textContent = title;
    const p = document.createElement('p');
    p.id = `${id}-d`;
    p.textContent = text;
    form.append(h, p);
    if (list) {
      // Part of the description, so that a screen reader says it with the question.
      const heading = document.createElement('p');
      heading.className = 'dialog-list-heading';
      heading.textContent = list.heading;
      const items = document.createElement('ul');
      items.className = 'dialog-list';
      for (const text of list.items) {
        const item = document.createElement('li');
        item.textContent = text;
        items.append(item);
      }
      const description = document.createElement('div');
      description.id = `${id}-d`;
      p.removeAttribute('id');
      form.replaceChild(description, p);
      description.append(p, heading, items);
    }
    if (detail) form.append(detail);
    let field = null;
    let problem = null;
    if (input) {
      const label = document.createElement('label');
      label.className = 'dialog-field';
      label.textContent = input.label;
      field = document.createElement('input');
      field.type = 'text';
      field.value = input.value ?? '';
      field.spellcheck = false;
      label.append(field);
      problem = document.createElement('div');
      problem.className = 'field-error';
      problem.setAttribute('role', 'alert');
      problem.hidden = true;
      form.append(label, problem);
    }
    const row = document.createElement('div');
    row.className = 'dialog-buttons';
    let chosen = cancelValue;
    let busy = false;
    const showProblem = (error) => {
      problem.textContent = error;
      problem.hidden = false;
      field.focus();
    };
    // The entered text is checked here first, then by input.submit, if given, while the dialog
    // stays open: it resolves to why the text was not taken, or to nothing.
    const accept = async () => {
      if (busy) return;
      const error = input.check?.(field.value);
      if (error) {
        showProblem(error);
        return;
      }
      if (input.submit) {
        busy = true;
        for (const b of row.querySelectorAll('button')) b.disabled = true;
        const refusal = await input.submit(field.value);
        busy = false;
        for (const b of row.querySelectorAll('button')) b.disabled = false;
        if (refusal) {
          showProblem(refusal);
          return;
        }
      }
      chosen = field.value;
      dialog.close();
    };
    for (const b of buttons) {
      const button = document.createElement('button');
      button.type = b.submit ? 'submit' : 'button';
      button.textContent = b.label;
      if (b.className) button.className = b.className;
      button.addEventListener('click', (e) => {
        if (field && b.value !== cancelValue) {
          e.preventDefault();
          accept();
          return;
        }
        chosen = b.value;
        dialog.close();
      });
      row.append(button);
    }
    form.append(row);
    if (field) {
      form.addEventListener('submit', (e) => {
        e.preventDefault();
        accept();
      });
      // Escape while the text is being taken would hide the answer.
      dialog.addEventListener('cancel', (e) => {
        if (busy) e.preventDefault();
      });
    }
    dialog.append(form);
    dialog.addEventListener('close', () => {
      dialog.remove();
      resolve(chosen);
    });
    host().append(dialog);
    dialog.showModal();
    const focus = field ?? row.querySelector(buttons.find((b) => b.focus) ? `button:nth-child(${buttons.findIndex((b) => b.focus) + 1})` : 'button');
    focus?.focus();
    if (field) field.select();
    open.current = dialog;
  });
}

/** Resolves true when the user confirms; detail: an element shown below the text. */
export async function confirm(title, text, action, detail) {
  const value = await open({ title, text, detail, role: 'alertdialog', buttons: [
    { label: T.cancel, value: false, focus: true },
    { label: action, value: true, className: 'danger' },
  ], cancelValue: false });
  return value === true;
}

/**
 * Resolves to the text entered, or null. check(text) says at once why a text cannot be taken;
 * submit(text), if given, takes it while the dialog stays open and resolves to why not, or null.
 */
export function prompt(title, text, label, value, check, submit) {
  return open({ title, text, input: { label, value, check, submit }, buttons: [
    { label: T.cancel, value: null },
    { label: T.ok, value: 'ok', submit: true, className: 'primary' },
  ] });
}

/** A message box with one OK button. */
export function message(title, text) {
  return open({ title, text, role: 'alertdialog', buttons: [{ label: T.ok, value: true, className: 'primary', focus: true }],
    cancelValue: true });
}

/** A Yes/No question; Escape answers No. list: { heading, items } shown below the text, or null. */
export async function question(title, text, list = null) {
  const value = await open({ title, text, list, role: 'alertdialog', buttons: [
    { label: T.yes, value: true, className: 'primary', focus: true },
    { label: T.no, value: false },
  ], cancelValue: false });
  return value === true;
}

/** Closes a dialog that the session has answered elsewhere. */
export function closeAll() {
  for (const d of host().querySelectorAll('dialog')) d.close();
}
