-- A runtime error ends the run: "error: " and the message, exit status 1.
out("before")
local t = nil
local function f() return t.x end
f()
out("never")
