-- zorva header
_pausemenu = {}	function menuitem(index, label, callback) if index == nil or index < 1 or index > 5 then return end _pausemenu[index] = {label = label, callback = callback} _menuitem(index, label) end	function all(c) if c == nil or #c == 0 then return function() end end local i, last = 1, nil return function() if last ~= nil and c[i] == last then i = i + 1 end while c[i] == nil and i <= #c do i = i + 1 end last = c[i] return last end end	function foreach(c, f) for v in all(c) do f(v) end end	function count(c) if c == nil then return 0 end local n = 0 for i = 1, #c do if c[i] ~= nil then n = n + 1 end end return n end	function add(c, v) if c == nil then return end c[#c + 1] = v return v end	function del(c, v) if c == nil or #c == 0 then return end for j = 1, #c do if c[j] == v then for k = j, #c - 1 do c[k] = c[k + 1] end c[#c] = nil return end end end	
function _update() x = (x or 0) + 1 end
function _draw() end

_end_of_program = 1
if _init then _init() end
_set_mainloop_exists(0)
if _mainloop then _set_mainloop_exists(1) end
if _update60 then _set_fps(60) end
if not _mainloop and (_draw or _update or _update60) then
 _set_mainloop_exists(2)
 function _mainloop()
  while true do
   local num = min(1, _get_frames_skipped())
   for i = 0, num do
    _update_buttons()
    if _update60 then _update60() elseif _update then _update() end
   end
   holdframe()
   if _draw then _draw() end
   flip()
   for i = 1, 5 do
    if _get_menu_item_selected(i) then
     local item = _pausemenu[i]
     if item and item.callback then item.callback() end
    end
   end
  end
 end
end
if _mainloop then _mainloop() end
