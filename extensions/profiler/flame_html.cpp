// The flame graph page: the call tree as JSON inside one HTML file with its
// own script and style, so it opens anywhere without network access. Frames
// are positioned elements (the outermost call at the bottom); a click zooms
// into a frame, the search box marks matching frames.
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <vector>

#include "reports.h"

namespace profiler {

namespace {

// A JSON string that is also safe inside a <script> element.
void quote(std::string_view text, std::string &out) {
    out += '"';
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == '<' || c == '>' || c == '&' || c == 0x7F) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

// [name, total, self, [children...]] with times in microseconds, and for a
// differential graph a fifth element: the change of the node's share in
// percentage points. Written without recursion, as stacks run thousands of
// frames deep.
void node(const NamedNode &tree, std::string &out,
          const std::unordered_map<const NamedNode *, double> *changes = nullptr) {
    struct Step {
        const NamedNode *node;
        bool first;   // no comma before it
        bool close;   // the node's children are written: close it
    };
    std::vector<Step> work{{&tree, true, false}};
    while (!work.empty()) {
        Step step = work.back();
        work.pop_back();
        const NamedNode *at = step.node;
        if (step.close) {
            out += ']';
            if (changes != nullptr) {
                auto found = changes->find(at);
                char change[32];
                snprintf(change, sizeof change, ",%.4f", found == changes->end() ? 0.0 : found->second);
                out += change;
            }
            out += ']';
            continue;
        }
        if (!step.first) out += ',';
        out += '[';
        quote(at->name, out);
        out += ',' + std::to_string((at->total + 500) / 1000) + ',' + std::to_string((at->self + 500) / 1000) + ",[";
        work.push_back({at, false, true});
        std::vector<const NamedNode *> children;
        for (const auto &entry : at->children) children.push_back(entry.second.get());
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            bool isFirst = it + 1 == children.rend();
            work.push_back({*it, isFirst, false});
        }
    }
}

constexpr const char *kHead = R"page(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Flame graph</title>
<style>
body{font:12px sans-serif;margin:8px;background:#fff;color:#222}
#bar{margin-bottom:6px}#bar input{width:16em}
#info{margin:4px 0;color:#555;min-height:1.2em}
#graph{position:relative;width:100%;overflow:hidden;border-top:1px solid #ddd}
.f{position:absolute;height:17px;line-height:17px;overflow:hidden;white-space:nowrap;box-sizing:border-box;
border:1px solid #fff;padding-left:3px;cursor:pointer;font:11px monospace}
.f.m{background:#d4f!important;color:#fff}
</style></head><body>
<div id="bar"><b>Flame graph</b> <span id="title"></span>
<input id="search" placeholder="search (regular expression)"> <button id="reset">reset zoom</button></div>
<div id="info"></div><div id="graph"></div>
<script>
)page";

constexpr const char *kScript = R"page(
(function(){
const ROW=18, graph=document.getElementById('graph'), info=document.getElementById('info');
document.getElementById('title').textContent=profile.title;
let zoomed=data, pattern=null;
function depth(n){let d=0;for(const c of n[3])d=Math.max(d,depth(c));return d+1;}
function color(name){let h=0;for(let i=0;i<name.length;i++)h=(h*31+name.charCodeAt(i))>>>0;
  if(name.startsWith('['))return 'hsl('+(190+h%40)+',55%,65%)';
  return 'hsl('+(h%55)+','+(70+h%25)+'%,'+(55+h%15)+'%)';}
// A differential graph: red grew, blue shrank, deeper for larger changes.
function fill(n){if(!profile.diff)return color(n[0]);const d=n[4]||0,k=Math.min(1,Math.abs(d)/profile.diff);
  if(Math.abs(d)<0.005)return 'hsl(0,0%,85%)';
  return 'hsl('+(d>0?0:220)+','+Math.round(45+45*k)+'%,'+Math.round(85-25*k)+'%)';}
function ms(us){return profile.bytes?(us*1000/1048576).toFixed(2)+' MB':(us/1000).toFixed(1)+' ms';}
function describe(n){const all=data[1]||1;let text=n[0]+' \u2014 '+ms(n[1])+' ('+(100*n[1]/all).toFixed(1)+
  '%), self '+ms(n[2])+' ('+(100*n[2]/all).toFixed(1)+'%)';
  if(profile.diff)text+=', share '+((n[4]||0)>=0?'+':'')+(n[4]||0).toFixed(2)+' points';return text;}
function path(n){const p=[];(function walk(at){if(at===n)return true;for(const c of at[3])if(walk(c)){p.push(c);return true;}
  return false;})(data);return p;}
function box(n,left,width,level){
  const d=document.createElement('div');d.className='f';
  if(pattern&&pattern.test(n[0]))d.classList.add('m');
  d.style.left=(100*left)+'%';d.style.width=(100*width)+'%';d.style.bottom=(level*ROW)+'px';
  d.style.background=fill(n);d.textContent=n[0];d.title=describe(n);
  d.onclick=function(){zoomed=n;draw();};
  d.onmouseover=function(){info.textContent=describe(n);};
  graph.appendChild(d);}
function byName(a,b){return a[0]<b[0]?-1:a[0]>b[0]?1:0;}
function draw(){
  graph.textContent='';
  const chain=[data].concat(path(zoomed).reverse());
  graph.style.height=((chain.length-1+depth(zoomed))*ROW)+'px';
  chain.slice(0,-1).forEach(function(a,i){box(a,0,1,i);});
  (function lay(n,left,width,level){
    box(n,left,width,level);
    let x=left;
    for(const c of n[3].slice().sort(byName)){
      const w=width*c[1]/n[1];if(w*graph.clientWidth>=0.5)lay(c,x,w,level+1);x+=w;}
  })(zoomed,0,1,chain.length-1);
}
document.getElementById('reset').onclick=function(){zoomed=data;draw();};
document.getElementById('search').oninput=function(e){
  try{pattern=e.target.value?new RegExp(e.target.value):null;}catch(x){pattern=null;}draw();};
window.onresize=draw;
// The title is in the bar already: the line below it starts with how to use the graph.
info.textContent='Hover a frame for its times; click it to zoom in.';
draw();
// The roots are at the bottom of a deep graph: open there.
window.scrollTo(0,document.body.scrollHeight);
})();
</script></body></html>
)page";

}  // namespace

std::string FlameGraphHtml(const NamedProfile &profile, const ReportInfo &info) {
    std::string out = kHead;
    char title[200];
    snprintf(title, sizeof title, "%s, one sample every %d ms, %" PRIu64 " samples, %.2f s", info.mode.c_str(),
             info.periodMs, profile.samples, profile.weight / 1e9);
    out += "const profile={title:";
    quote(info.title.empty() ? title : info.title, out);
    out += info.bytes ? ",bytes:true" : "";
    out += "};\nconst data=";
    node(profile.root, out);
    out += ";\ndata[0]='all';";
    out += kScript;
    return out;
}

std::string DiffFlameGraphHtml(const NamedProfile &before, const NamedProfile &after, std::string_view title) {
    std::unordered_map<const NamedNode *, double> changes = PathShareChanges(before, after);
    double largest = 0;
    for (const auto &entry : changes) largest = std::max(largest, std::fabs(entry.second));
    std::string out = kHead;
    out += "const profile={title:";
    quote(title, out);
    char scale[48];
    snprintf(scale, sizeof scale, ",diff:%.4f};\nconst data=", largest > 0 ? largest : 1.0);
    out += scale;
    node(after.root, out, &changes);
    out += ";\ndata[0]='all';";
    out += kScript;
    return out;
}

}  // namespace profiler
