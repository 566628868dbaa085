-- The os, debug and package libraries against the reference.
local here = debug.getinfo(1, "S").source:match("^@(.*)/[^/]*$") or "."

-- os
local now = os.time()
local fields = os.date("*t", now)
print(type(now), fields.year >= 2024, fields.month >= 1 and fields.month <= 12, type(fields.isdst))
local t0 = os.time({year = 2030, month = 6, day = 15, hour = 12, min = 30, sec = 5})
local back = os.date("*t", t0)
print(back.year, back.month, back.day, back.hour, back.min, back.sec, back.wday, back.yday)
print(os.date("%Y-%m-%d %H:%M:%S", t0), os.date("!%Y", t0))
local later = os.time({year = 2030, month = 6, day = 15, hour = 13, min = 30, sec = 5})
print(os.difftime(later, t0), os.difftime(t0, t0))
local norm = {year = 2030, month = 13, day = 1, hour = 12}
os.time(norm)
print(norm.year, norm.month)
print(type(os.clock()), os.getenv("NO_SUCH_VARIABLE_FOR_THIS_TEST"))
print(os.execute("exit 3"))
print(os.execute("true"))
print(os.execute() ~= nil)
local tmp = os.tmpname()
print(type(tmp), os.rename(tmp, tmp .. ".moved"), os.remove(tmp .. ".moved"))
local gone, message, code = os.remove(tmp .. ".moved")
print(gone, message == tmp .. ".moved: No such file or directory", code)
print(os.rename("no_such_file_for_this_test", "x"))
print(pcall(os.date, "%Ez"))
print(pcall(os.date, "%Q"))
print(pcall(os.time, {year = 2000}))
print(pcall(os.setlocale, nil, "bogus"))
print(os.setlocale("C"), os.setlocale(nil, "numeric"))

-- debug
local function probe(a, b, ...)
  local c = a + b
  local info = debug.getinfo(1, "Slnu")
  print(info.what, info.currentline > 0, info.nparams, info.isvararg, info.nups, info.namewhat, info.name)
  print(debug.getlocal(1, 1), debug.getlocal(1, 2), debug.getlocal(1, 3))
  print(debug.setlocal(1, 3, 99), c)
  return c
end
probe(1, 2, 3)
print(debug.getlocal(probe, 1), debug.getlocal(probe, 2), debug.getlocal(probe, 3))
print(debug.getinfo(print).what, debug.getinfo(100), debug.getinfo(1, "S").what)
local info = debug.getinfo(probe, "SL")
local lines = 0
for _ in pairs(info.activelines) do lines = lines + 1 end
print(info.linedefined > 0, info.lastlinedefined > info.linedefined, lines > 3)
local up1, up2 = 10, 20
local function f() return up1 end
local function g() return up2 end
print(debug.getupvalue(f, 1))
print(debug.setupvalue(f, 1, 11), up1, debug.getupvalue(f, 2))
print(debug.upvalueid(f, 1) ~= debug.upvalueid(g, 1), debug.upvalueid(f, 1) == debug.upvalueid(f, 1))
debug.upvaluejoin(f, 1, g, 1)
print(f(), debug.upvalueid(f, 1) == debug.upvalueid(g, 1))
print(pcall(debug.upvaluejoin, f, 1, print, 1))
print(pcall(debug.upvalueid, f, 5))
local calls = 0
debug.sethook(function(event) calls = calls + 1 end, "", 1)
for i = 1, 10 do local x = i end
local hook, mask, count = debug.gethook()
debug.sethook()
print(calls > 10, type(hook), mask, count, debug.gethook())
local events = {}
debug.sethook(function(event, line) events[#events + 1] = event end, "cr")
math.floor(1)
debug.sethook()
print(events[1], events[2])
local mt = {}
print(debug.setmetatable(10, mt) == 10, debug.getmetatable(10) == mt)
debug.setmetatable(10, nil)
print(debug.getmetatable(10), type(debug.getregistry()), debug.getuservalue(1))
print(pcall(debug.setuservalue, {}, {}))
print(pcall(debug.getlocal, 100, 1))
print(debug.traceback("msg", 1):match("^msg\nstack traceback:\n") ~= nil, debug.traceback({}) ~= nil)

-- call hooks: a function entered through a tail call reports "tail call"
-- (and has no name); one called from a function that was itself tail
-- called reports "call"
do
  local events = {}
  local function g() return 1 end
  local function f() return g() end
  local function h() local x = g() return x end
  local function k() return f() end
  local function t() return h() end
  debug.sethook(function(e) events[#events + 1] = e .. ":" .. tostring(debug.getinfo(2, "n").name) end, "c")
  f()
  h()
  k()
  t()
  local x = (g())
  debug.sethook()
  print(table.concat(events, ","))
end

-- package
print(type(package.path), type(package.cpath), #package.searchers, package.loaded.string == string)
print(package.config)
print(package.searchpath("no.mod", "./?.lua;./?/x.lua"))
print(package.searchpath("mod", here .. "/modules/?.lua") == here .. "/modules/mod.lua")
package.preload.fromhere = function(name, extra) return {name = name, extra = extra} end
local m = require("fromhere")
print(m.name, m.extra, require("fromhere") == m)
package.path = here .. "/modules/?.lua"
local mod = require("mod")
print(mod.greeting, mod.name, mod.file == here .. "/modules/mod.lua", package.loaded.mod == mod)
print(require("returns_nothing"), package.loaded.returns_nothing)
print(pcall(require, "broken"))
package.cpath = "./?.nothing"
print(pcall(require, "no.such.mod"))
