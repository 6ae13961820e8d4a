-- Neovim's own language client on `nxs lsp`: opens the unit NXS_NVIM_FILE of the workspace
-- NXS_NVIM_ROOT, folds by the server's folding ranges, types a syntax error and waits for its
-- diagnostic; what it saw goes to NXS_NVIM_OUT as JSON, and Neovim quits.
local nxs, root, file, out = os.getenv("NXS_BIN"), os.getenv("NXS_NVIM_ROOT"), os.getenv("NXS_NVIM_FILE"),
  os.getenv("NXS_NVIM_OUT")
local result = {}

local function run()
  vim.cmd("edit " .. vim.fn.fnameescape(file))
  local buf = vim.api.nvim_get_current_buf()
  local id = vim.lsp.start_client({ name = "nxs", cmd = { nxs, "lsp" }, root_dir = root })
  vim.lsp.buf_attach_client(buf, id)
  result.started = vim.wait(30000, function()
    local client = vim.lsp.get_client_by_id(id)
    return client ~= nil and client.server_capabilities ~= nil and client.server_capabilities.foldingRangeProvider ~= nil
  end, 20)
  if not result.started then return end

  local params = { textDocument = vim.lsp.util.make_text_document_params(buf) }
  local answers = vim.lsp.buf_request_sync(buf, "textDocument/foldingRange", params, 20000) or {}
  result.ranges = (answers[id] or {}).result or {}
  -- Each range folds as a fold of its own: made, then read back closed, then opened again.
  vim.wo.foldmethod = "manual"
  result.folds = {}
  for _, r in ipairs(result.ranges) do
    vim.cmd(string.format("%d,%dfold", r.startLine + 1, r.endLine + 1))
    table.insert(result.folds, { vim.fn.foldclosed(r.startLine + 1), vim.fn.foldclosedend(r.startLine + 1) })
    vim.cmd("normal! zR")
  end

  -- The error is typed where the text reads "Result := ".
  for line, text in ipairs(vim.api.nvim_buf_get_lines(buf, 0, -1, false)) do
    local at = text:find("Result := ", 1, true)
    if at then
      result.typed = { line - 1, at + 9 }
      vim.api.nvim_buf_set_text(buf, line - 1, at + 9, line - 1, at + 9, { "Undefined + " })
      break
    end
  end
  vim.wait(60000, function() return #vim.diagnostic.get(buf) > 0 end, 50)
  result.diagnostics = {}
  for _, d in ipairs(vim.diagnostic.get(buf)) do
    table.insert(result.diagnostics, { lnum = d.lnum, col = d.col, end_col = d.end_col, severity = d.severity })
  end
  vim.lsp.stop_client(id)
end

local ok, err = pcall(run)
if not ok then result.error = tostring(err) end
local f = io.open(out, "w")
f:write(vim.fn.json_encode(result))
f:close()
vim.cmd("qa!")
