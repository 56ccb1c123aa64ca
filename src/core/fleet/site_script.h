#pragma once

// The facility page's search, run in the reader's browser over the data the site's fleet-data.js
// holds: every position whose filter's name or code number holds the text typed, or whose band passes
// the wavelength typed. Results are made with the DOM's own text nodes, never parsed as markup.

namespace fleet {

inline const char* const SearchScript = R"JS('use strict';
(function () {
  const data = window.fleetData;
  const form = document.getElementById('search');
  const field = document.getElementById('q');
  const status = document.getElementById('search-status');
  const table = document.getElementById('results');
  if (!data || !form || !field || !status || !table)
    return;
  // A position: [microscope, wheel, anchor, position, filter, code, shape, from, to, band]
  function passes(position, nm) {
    const from = position[7], to = position[8];
    switch (position[6]) {
      case 'pass': return nm >= from && nm <= to;
      case 'longpass': return nm >= from;
      case 'shortpass': return nm <= to;
      case 'notch': return nm < from || nm > to;
    }
    return false;
  }
  function found(query) {
    const text = query.trim().toLowerCase();
    if (!text)
      return [];
    const number = /^(\d+(?:\.\d+)?)\s*(?:nm)?$/.exec(text);
    const nm = number ? parseFloat(number[1]) : NaN;
    return data.positions.filter(function (position) {
      return (number && passes(position, nm)) || position[4].toLowerCase().includes(text) ||
             position[5].toLowerCase().includes(text);
    });
  }
  function cell(row, text) {
    row.insertCell().textContent = text;
  }
  function show(query) {
    const positions = found(query);
    const body = table.tBodies[0];
    while (body.rows.length)
      body.deleteRow(0);
    for (const position of positions) {
      const row = body.insertRow();
      const microscope = data.microscopes[position[0]];
      const link = document.createElement('a');
      link.href = microscope.page + '#' + position[2];
      link.textContent = microscope.name;
      row.insertCell().appendChild(link);
      for (const at of [1, 3, 4, 5, 9])
        cell(row, position[at]);
    }
    table.hidden = positions.length === 0;
    const quoted = '\u201c' + query.trim() + '\u201d';
    status.textContent = !query.trim() ? '' :
        positions.length === 0 ? 'No position found for ' + quoted + '.' :
        positions.length === 1 ? '1 position found for ' + quoted + '.' :
        positions.length + ' positions found for ' + quoted + '.';
  }
  form.hidden = false;
  const unavailable = document.getElementById('search-unavailable');
  if (unavailable)
    unavailable.hidden = true;
  form.addEventListener('submit', function (event) {
    event.preventDefault();
    show(field.value);
  });
  field.addEventListener('input', function () { show(field.value); });
  const asked = new URLSearchParams(window.location.search).get('q');
  if (asked) {
    field.value = asked;
    show(asked);
  }
})();
)JS";

} // namespace fleet
