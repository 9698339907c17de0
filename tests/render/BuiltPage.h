#pragma once

// A gallery page with no picture in it: a script fetches the list by a
// relative address and builds the thumbnails.
inline const char* const kBuiltPage = R"(<html><body><div id="g"></div><script>
fetch('list.json').then(r => r.json()).then(list => {
  for (const name of list) {
    const a = document.createElement('a'); a.href = 'big/' + name;
    const i = document.createElement('img'); i.src = 'thumb/' + name;
    a.appendChild(i); document.getElementById('g').appendChild(a);
  }
});
</script></body></html>)";
