-- The math and bit32 libraries against the reference, on values that a
-- 16.16 number holds exactly (or printed to three places).
local function f3(x) return string.format("%.3f", x) end

print(math.floor(3.7), math.ceil(3.2), math.floor(-3.5), math.ceil(-3.5), math.floor(-0.25))
print(math.abs(-2), math.abs(2.5), math.max(1, 5, 3), math.min(4, 2, 8), math.max(-1), math.min(0.5, 0.25))
print(math.fmod(7, 3), math.fmod(-7, 3), math.fmod(7.5, 2))
print(math.modf(3.5))
print(math.modf(-3.5))
print(math.sqrt(16), math.sqrt(2.25), math.pow(2, 10), math.pow(4, 0.5), math.exp(0), math.log(1))
print(math.log(8, 2), math.log(100, 10), math.frexp(8))
print(math.frexp(0.75))
print(math.ldexp(0.5, 4), math.ldexp(3, -1))
print(math.deg(0), math.rad(0), math.sin(0), math.cos(0), math.tan(0), math.atan(0), math.asin(0), math.acos(1))
print(math.atan2(0, 1), math.sinh(0), math.cosh(0), math.tanh(0))
print(f3(math.sin(1)), f3(math.cos(1)), f3(math.tan(0.5)), f3(math.atan(1)), f3(math.atan2(1, 1)))
print(f3(math.asin(0.5)), f3(math.acos(0.5)), f3(math.exp(1)), f3(math.log(10)), f3(math.sqrt(2)))
print(f3(math.deg(1)), f3(math.rad(180)), f3(math.pi), f3(math.sinh(1)), f3(math.cosh(1)), f3(math.tanh(1)))
math.randomseed(7)
local lo, hi, whole = 99, 0, true
for i = 1, 200 do
  local r = math.random(6)
  if r < lo then lo = r end
  if r > hi then hi = r end
  if r ~= math.floor(r) then whole = false end
end
print(lo, hi, whole)
local inside = true
for i = 1, 200 do
  local r = math.random()
  if r < 0 or r >= 1 then inside = false end
  local s = math.random(-3, 3)
  if s < -3 or s > 3 then inside = false end
end
print(inside)
print(pcall(math.random, 0))
print(pcall(math.random, 3, 1))
print(pcall(math.random, 1, 2, 3))
print(pcall(math.floor, "x"))
print(math.floor("2.5"), math.max("3", 2))

print(bit32.band(255, 15), bit32.bor(1, 2, 4), bit32.bxor(5, 3), bit32.btest(1, 2), bit32.btest(3, 2))
print(bit32.lshift(1, 4), bit32.rshift(256, 4), bit32.arshift(256, 4), bit32.lshift(1, -2), bit32.rshift(3, 40))
print(bit32.extract(240, 4, 4), bit32.extract(5, 0), bit32.replace(0, 5, 2, 3), bit32.replace(255, 0, 4, 2))
print(bit32.lrotate(1, 1), bit32.rrotate(2, 1), bit32.lrotate(3, 32), bit32.bor(), bit32.bxor())
print(pcall(bit32.extract, 1, -1))
print(pcall(bit32.extract, 1, 0, 0))
print(pcall(bit32.extract, 1, 30, 5))
